#!/usr/bin/env bash
# Proves the installed package from outside the tree: builds wavfx without its tests (GoogleTest
# and Google Benchmark made unfindable), installs it into a temporary prefix and moves that, checks
# what was installed, then builds a C consumer through pkg-config and a C++ consumer through
# find_package(wavfx), and runs both on demo/demo.wav.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" pkg-config make groff-base
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
demo=$root/demo/demo.wav
jobs=${JOBS:-$(nproc)}
effects=(none antique echo reverb tremolo distort lowpass highpass bitcrush flanger chorus
  compress widen)
# The registry's other families that work in place: its plugins. The C++ consumer's in-place
# calls run the same number: all but the limiter (its look-ahead needs the flow calls), and the
# dither, which is no plugin.
in_place=(gain bandpass bandreject allpass equalizer bass treble phaser limiter gate freeverb
  soxflanger)
# In-place families that are no plugins, being set by text: the C++ consumer runs them too.
set_by_text=(multichorus)
strict=(-Wall -Wextra -Wpedantic -Wconversion -Wshadow -Werror)

step() { printf '== %s\n' "$*"; }
fail() {
  printf 'FAIL: %s\n' "$*" >&2
  exit 1
}

step "build with -DBUILD_TESTING=OFF, no test frameworks"
cmake -S "$root" -B "$work/build" -G Ninja --no-warn-unused-cli -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBUILD_TESTING=OFF -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
  >"$work/log" 2>&1 || fail "configure: $(cat "$work/log")"
cmake --build "$work/build" -j "$jobs" >"$work/log" 2>&1 || fail "build: $(cat "$work/log")"

step "install, then move the prefix (the package must not depend on where it was installed)"
cmake --install "$work/build" --prefix "$work/staged" >/dev/null
mv "$work/staged" "$work/prefix"
prefix=$work/prefix
library=$(find "$prefix" -name libwavfx.so -print -quit)
[ -n "$library" ] || fail "no libwavfx.so under the prefix"
libdir=$(dirname "$library")
rel=${libdir#"$prefix"/}

# The LV2 bundle (a mono and a stereo plugin of every in-place effect that changes audio; the widener only
# stereo) and the LADSPA library, when the build found their headers.
plugin_files() {
  [ -d "$work/build/plugins" ] || return 0
  echo "$rel/ladspa/wavfx.so $rel/lv2/wavfx.lv2/wavfx.so $rel/lv2/wavfx.lv2/manifest.ttl"
  for e in "${effects[@]:1}" "${in_place[@]}"; do
    [ "$e" = widen ] || echo "$rel/lv2/wavfx.lv2/$e-mono.ttl"
    echo "$rel/lv2/wavfx.lv2/$e-stereo.ttl"
  done
}

expected=$(printf '%s\n' bin/wavfx include/wavfx/wavfx.h include/wavfx/wavfx.hpp \
  "$rel/libwavfx.so" "$rel/libwavfx.so.1" "$rel/libwavfx.so.1.0.0" "$rel/pkgconfig/wavfx.pc" \
  "$rel/cmake/wavfx/wavfxConfig.cmake" "$rel/cmake/wavfx/wavfxConfigVersion.cmake" \
  "$rel/cmake/wavfx/wavfxTargets.cmake" "$rel/cmake/wavfx/wavfxTargets-relwithdebinfo.cmake" \
  share/man/man1/wavfx.1 $(plugin_files) | sort)
installed=$(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort)
[ "$installed" = "$expected" ] || fail "installed files differ:
$(diff <(echo "$expected") <(echo "$installed") || true)"
[ "$(readlink "$libdir/libwavfx.so")" = libwavfx.so.1 ] || fail "libwavfx.so -> libwavfx.so.1"
[ "$(readlink "$libdir/libwavfx.so.1")" = libwavfx.so.1.0.0 ] || fail "libwavfx.so.1 -> 1.0.0"
echo "installed: $(echo "$installed" | wc -l) files, $rel/libwavfx.so -> libwavfx.so.1 -> libwavfx.so.1.0.0"

step "SONAME and exported symbols"
soname=$(readelf -d "$libdir/libwavfx.so.1.0.0" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
[ "$soname" = libwavfx.so.1 ] || fail "SONAME is '$soname'"
# Every function the installed header declares, and nothing else.
declared=$(grep -ohE '^WAVFX_API [^(]+\(' "$prefix/include/wavfx/wavfx.h" |
  sed -E 's/.*[^A-Za-z0-9_]([A-Za-z_][A-Za-z0-9_]*)\($/\1/' | sort)
exported=$(nm -D --defined-only "$libdir/libwavfx.so.1.0.0" | awk '{print $NF}' | sort)
[ "$exported" = "$declared" ] || fail "exports differ from the header:
$(diff <(echo "$declared") <(echo "$exported") || true)"
echo "SONAME $soname; exports the $(echo "$exported" | wc -l) functions of wavfx.h:" \
  "$(echo "$exported" | tr '\n' ' ')"

step "tool and man page"
version=$("$prefix/bin/wavfx" --version)
[ "$version" = "wavfx $(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --modversion wavfx)" ] ||
  fail "version '$version' differs from wavfx.pc"
if command -v groff >/dev/null; then
  warnings=$(groff -man -Tutf8 -ww -z "$prefix/share/man/man1/wavfx.1" 2>&1)
  [ -z "$warnings" ] || fail "man page: $warnings"
fi
echo "$version; man page renders cleanly"

# Both consumers must load the library of the prefix, not one installed elsewhere.
loads_prefix_library() {
  local loaded
  loaded=$(ldd "$1" | sed -n 's/.*libwavfx\.so\.1 => \(.*\) (.*/\1/p')
  if [ -z "$loaded" ] || [ "$(readlink -f "$loaded")" != "$libdir/libwavfx.so.1.0.0" ]; then
    fail "$1 does not load $libdir/libwavfx.so.1: '$loaded'"
  fi
}

step "C consumer through pkg-config"
cp -r "$root/examples/c_consumer" "$work/c"
PKG_CONFIG_PATH=$libdir/pkgconfig make -s -C "$work/c" CFLAGS="-O2 ${strict[*]}"
loads_prefix_library "$work/c/c_consumer"
mkdir "$work/c-out"
for effect in "${effects[@]}"; do
  "$work/c/c_consumer" "$demo" "$work/c-out/$effect.wav" "$effect"
done
"$work/c/c_consumer" "$demo" "$work/c-out/x.wav" vibrato 2>/dev/null &&
  fail "c_consumer accepted an unknown effect name"

step "C++ consumer through find_package(wavfx)"
cp -r "$root/examples/cpp_consumer" "$work/cpp"
cmake -S "$work/cpp" -B "$work/cpp-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_FLAGS="${strict[*]}" >/dev/null
cmake --build "$work/cpp-build" >/dev/null
loads_prefix_library "$work/cpp-build/cpp_consumer"
mkdir "$work/cpp-out" "$work/cli-out"
"$work/cpp-build/cpp_consumer" "$demo" "$work/cpp-out"

step "the consumers' files against the installed wavfx's"
# cpp_consumer writes one file per in-place effect (WAVEffect's and the others), under its first
# name.
written=$(cd "$work/cpp-out" && ls)
[ "$(echo "$written" | wc -l)" -eq $((${#effects[@]} + ${#in_place[@]} + ${#set_by_text[@]})) ] ||
  fail "cpp_consumer wrote: $written"
for file in $written; do
  effect=${file%.wav}
  "$prefix/bin/wavfx" "$demo" "$work/cli-out/$file" "$effect"
  cmp -s "$work/cpp-out/$file" "$work/cli-out/$file" ||
    fail "cpp_consumer's $file differs from the installed wavfx's"
done
for effect in "${effects[@]}"; do
  [ -f "$work/cli-out/$effect.wav" ] ||
    "$prefix/bin/wavfx" "$demo" "$work/cli-out/$effect.wav" "$effect"
  cmp -s "$work/c-out/$effect.wav" "$work/cli-out/$effect.wav" ||
    fail "c_consumer's $effect.wav (WAVEffect) differs from the installed wavfx's"
done
echo "${#effects[@]} effects: the C++ stream, WAVEffect and the installed wavfx write the same bytes"

echo "consumers: all checks passed"
