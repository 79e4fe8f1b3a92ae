#!/usr/bin/env bash
# Builds the LV2 and LADSPA plugins and their unit test, installs them into a temporary prefix
# and checks them in real hosts: the exported symbols, sord_validate over the TTL with the LV2
# schemas, analyseplugin and lv2info over every plugin, then every plugin at its defaults and at
# other values in lv2apply, FFmpeg's lv2 and ladspa filters (blocks of 1, 7, 64 and 8192 frames)
# and SoX's ladspa effect, each compared with the command line's output for the same float file.
# Usage: scripts/plugins_test.sh [BUILD_DIR]   (default build-plugins; an existing one is reused)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh lilv-utils sordi ffmpeg python3
build=${1:-build-plugins}
case $build in /*) ;; *) build=$root/$build ;; esac

[ -f "$build/CMakeCache.txt" ] ||
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2 --target wavfx_cli wavfx_lv2 wavfx_ladspa wavfx_lv2_ttl_files \
  test_plugins
"$build/tests/test_plugins" --gtest_brief=1

work=$(mktemp -d /dev/shm/wavfx-plugins.XXXXXX)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
libdir=$work/prefix/$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
bundle=$libdir/lv2/wavfx.lv2
export LV2_PATH=$libdir/lv2:/usr/lib/lv2 LADSPA_PATH=$libdir/ladspa
export WAVFX_CLI=$build/wavfx WAVFX_LIB=$build/libwavfx.so WORK=$work
export HELPER=$root/tests/plugins/host_files.py

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for standard in lv2 ladspa; do
  file=$([ $standard = lv2 ] && echo "$bundle/wavfx.so" || echo "$libdir/ladspa/wavfx.so")
  symbols=$(nm -D --defined-only "$file" | awk '{print $3}')
  [ "$symbols" = "${standard}_descriptor" ] || fail "$file exports: $symbols"
done

sord_validate $(find /usr/lib/lv2 -name '*.ttl') "$bundle"/*.ttl >"$work/sord.txt" 2>&1 ||
  fail "sord_validate: $(tail -3 "$work/sord.txt")"
grep -q "Found 0 errors" "$work/sord.txt" || fail "sord_validate: $(tail -3 "$work/sord.txt")"
if grep -qi "warn" "$work/sord.txt"; then fail "sord_validate warns: $(grep -i warn "$work/sord.txt")"; fi

labels=$(sed -n 's/^<urn:wavfx:\(.*\)>$/\1/p' "$bundle/manifest.ttl")
analyseplugin "$libdir/ladspa/wavfx.so" >"$work/analyse.txt" || fail "analyseplugin failed"
[ "$(grep -c '^Plugin Label' "$work/analyse.txt")" = "$(echo "$labels" | wc -l)" ] ||
  fail "analyseplugin lists other plugins than the LV2 manifest"
"$WAVFX_CLI" --list --json >"$work/list.json"
/usr/bin/python3 "$HELPER" make "$work/mono.wav" 1 44100 1.5
/usr/bin/python3 "$HELPER" make "$work/stereo.wav" 2 44100 1.5

# SoX carries the plugin's floats as 32-bit integers (truncated: up to 2^-31 of full scale off)
# and writes those as floats on a grid of 2^-24, rounding half up (up to 2^-25 more).
export SOX_TOLERANCE=3.03e-08

# One plugin at one set of values in every host, against the command line's output. Blocks of
# 1 frame come from lv2apply, which runs one frame at a time, and from FFmpeg's ladspa filter.
# Prints one line starting "ok" when everything agrees.
check() {
  local label=$1 which=$2
  local effect=${label%-*} input=$WORK/${label##*-}.wav dir=$WORK/$label-$which
  mkdir -p "$dir"
  /usr/bin/python3 "$HELPER" values "$effect" "$which" <"$WORK/list.json" >"$dir/values"
  local chain=$effect lv2apply_args=() lv2_controls="" ladspa_controls="" sox_args=() i=0
  while read -r name value choice; do
    # At the defaults the LV2 hosts take the TTL's; LADSPA cannot state them, so they are given.
    if [ "$which" = shifted ]; then
      chain+=$([ $i = 0 ] && echo "=" || echo ":")$name=${choice:-$value}
      lv2apply_args+=(-c "$name" "$value")
      lv2_controls+=${lv2_controls:+|}$name=$value
    fi
    ladspa_controls+=${ladspa_controls:+|}c$i=$value
    sox_args+=("$value")
    i=$((i + 1))
  done <"$dir/values"
  local uri="urn\\\\:wavfx\\\\:$label" outputs=() failed=0
  ffmpeg_run() {  # output, filter
    ffmpeg -nostdin -hide_banner -loglevel error -i "$input" -af "$2" -c:a pcm_f32le "$1" &&
      outputs+=("$1")
  }
  "$WAVFX_CLI" --quiet "$input" "$dir/cli.wav" "$chain" || return 1
  # A stage with a look-ahead runs in place in a plugin: its output lags by the reported latency.
  local channels latency
  channels=$([ "${label##*-}" = mono ] && echo 1 || echo 2)
  latency=$(/usr/bin/python3 "$HELPER" latency "$WAVFX_LIB" "$chain" "$channels" 44100) || return 1
  lv2apply -i "$input" -o "$dir/lv2apply.wav" "${lv2apply_args[@]}" "urn:wavfx:$label" &&
    outputs+=("$dir/lv2apply.wav") || failed=1
  for block in 1 7 64 8192; do
    local split="asetnsamples=n=$block:p=0"
    if [ $block != 1 ]; then
      ffmpeg_run "$dir/lv2-$block.wav" "$split,lv2=p=$uri${lv2_controls:+:c=$lv2_controls}" ||
        failed=1
    fi
    ffmpeg_run "$dir/ladspa-$block.wav" "$split,ladspa=f=wavfx:p=$label:c=$ladspa_controls" ||
      failed=1
  done
  /usr/bin/python3 "$HELPER" compare "$latency" "$dir/cli.wav" "${outputs[@]}" || failed=1
  # SoX asks for every control port, the latency output's included.
  local within
  if sox -D "$input" -e float -b 32 "$dir/sox.wav" ladspa wavfx "$label" "${sox_args[@]}" 0 \
    2>/dev/null; then
    within=$(/usr/bin/python3 "$HELPER" within "$SOX_TOLERANCE" "$latency" "$dir/cli.wav" \
      "$dir/sox.wav") ||
      failed=1
  else
    within="sox failed"
    failed=1
  fi
  rm -rf "$dir"
  if [ $failed = 0 ]; then
    echo "ok $label $which: lv2apply (1), ffmpeg lv2 (7, 64, 8192) and ladspa (1, 7, 64, 8192)" \
      "bit for bit, sox within $within"
  else
    echo "$within"
    return 1
  fi
}
export -f check

for label in $labels; do
  lv2info "urn:wavfx:$label" >/dev/null 2>"$work/lv2info.txt" && [ ! -s "$work/lv2info.txt" ] ||
    fail "lv2info urn:wavfx:$label: $(cat "$work/lv2info.txt")"
  grep -q "^Plugin Label: \"$label\"" "$work/analyse.txt" || fail "no LADSPA plugin $label"
done
passed=0
while read -r result; do
  case $result in
    "ok "*) passed=$((passed + 1)) && echo "${result#ok }" ;;
    "FAILED "*) fail "${result#FAILED }" ;;
    *) echo "$result" ;;
  esac
done < <(for label in $labels; do printf '%s defaults\n%s shifted\n' "$label" "$label"; done |
  xargs -P 2 -L 1 bash -c 'check "$0" "$1" || echo "FAILED $0 $1"')

echo "plugins: $passed passed, $failures failed"
[ $failures = 0 ]
