#!/usr/bin/env bash
# Proves that every build gives the same output bytes: builds the library (static and shared), the
# command and the golden check with GCC and Clang at -O0 and -O3, with AVX2 and FMA available to
# the compiler, for ARM64 without libsndfile (run under qemu-user) and for WebAssembly (scalar and
# SIMD, in Node), and checks every build's outputs against the golden tables, and that
# --stats --json prints the same on every x86 build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
arch=$(uname -m)
extra=(clang emscripten nodejs)
[ "$arch" = x86_64 ] && extra+=(g++-aarch64-linux-gnu qemu-user)
scripts/setup.sh "${extra[@]}"

table="tests/golden/goldens.txt tests/golden/extended_goldens.txt"
check() {  # name, cmake options...
  local name=$1
  shift
  local dir=build-matrix/$name
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None -DWAVFX_UNIT_TESTS=OFF "$@" >/dev/null
  cmake --build "$dir" --target wavfx_golden wavfx_cli wavfx_shared >/dev/null
  printf '%-16s ' "$name"
  if [ -n "${emulator:-}" ]; then
    $emulator "$dir/tests/wavfx_golden" --check $table
  else
    "$dir/tests/wavfx_golden" --check $table
    # The measurements too: --stats gives the same numbers on every build.
    local stats
    stats=$("$dir/wavfx" --stats --json demo/demo.wav)
    if [ -z "${first_stats:-}" ]; then
      first_stats=$stats
    elif [ "$stats" != "$first_stats" ]; then
      echo "$name: --stats --json differs from the first build's" >&2
      exit 1
    fi
  fi
}

emulator=
check gcc-O0 -DCMAKE_CXX_COMPILER=g++ -DCMAKE_CXX_FLAGS=-O0
check gcc-O3 -DCMAKE_CXX_COMPILER=g++ -DCMAKE_CXX_FLAGS=-O3
check clang-O0 -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_FLAGS=-O0
check clang-O3 -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_FLAGS=-O3
if [ "$arch" = x86_64 ]; then
  check gcc-O3-x86-64-v3 -DCMAKE_CXX_COMPILER=g++ "-DCMAKE_CXX_FLAGS=-O3 -march=x86-64-v3"
  check clang-O3-x86-64-v3 -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
    "-DCMAKE_CXX_FLAGS=-O3 -march=x86-64-v3"
  emulator="qemu-aarch64 -L /usr/aarch64-linux-gnu"
  check aarch64-gcc-O3 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/aarch64-linux-gnu.cmake \
    -DCMAKE_CXX_FLAGS=-O3 -DWAVFX_SNDFILE=OFF
fi
# WebAssembly, scalar and SIMD: the tables reproduced through the npm package in Node.
scripts/web_build.sh >/dev/null
for kind in scalar simd; do
  printf '%-16s ' "wasm-$kind"
  WAVFX_WEB_BUILD=$kind node --test --test-reporter=tap web/test/goldens.test.js |
    sed -n 's/^# \(wasm .*\)/\1/p; s/^ *\([0-9]* of [0-9]* rows differ\).*/\1/p'
done
echo "every build matches the golden tables"
