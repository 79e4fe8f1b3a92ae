#!/usr/bin/env bash
# Benchmarks the paths beyond the default effects, side by side in every round on a 10-minute
# 44100 Hz stereo file in tmpfs: every effect against the binary of an earlier commit, with
# non-default parameters against its defaults, the nine-stage chain against SoX running the same
# nine effects, 24-bit and float files against the 16-bit one, and FLAC in and out against the
# flac tool's decode plus encode (one after the other, as one process would). Prints a Markdown report of the medians.
#
# Usage: scripts/bench_paths.sh [ROUNDS] [BASELINE_REF]   (defaults 5 and dd686d1, the last
# commit with the 16-bit effects only)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds=${1:-5}
baseline_ref=${2:-dd686d1}
scripts/setup.sh sox flac

build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" --target wavfx_cli wavfx_make_bench_wav >/dev/null
wavfx=$root/$build/wavfx
work=$(mktemp -d /dev/shm/wavfx-paths.XXXXXX)
trap 'git worktree remove --force "$work/baseline-src" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

git worktree add -q --detach "$work/baseline-src" "$baseline_ref"
cmake -S "$work/baseline-src" -B "$work/baseline" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_TESTING=OFF >/dev/null
cmake --build "$work/baseline" --target wavfx_cli >/dev/null
old=$work/baseline/wavfx

in16=$work/in16.wav
"$build/bench/wavfx_make_bench_wav" "$in16" 10
sox "$in16" -b 24 "$work/in24.wav"
sox "$in16" -e floating-point -b 32 "$work/inf32.wav"
flac -s -f -o "$work/in.flac" "$in16"
out=$work/out

effects=(none antique echo reverb tremolo distort lowpass highpass bitcrush flanger chorus
  compress widen)
declare -A changed=(
  [antique]="antique=cutoff=2500:noise=0.01:bits=4:level=0.8"
  [echo]="echo=delay=120:feedback=-0.6:wet=0.8:dry=0.4"
  [reverb]="reverb=wet=0.3:dry=0.9:size=0.5:decay=1.2"
  [tremolo]="tremolo=rate=11:depth=1"
  [distort]="distort=drive=9:level=0.5"
  [lowpass]="lowpass=cutoff=1200"
  [highpass]="highpass=cutoff=2000"
  [bitcrush]="bitcrush=bits=5"
  [flanger]="flanger=min=1:max=8:rate=1.5:wet=0.5:dry=0.5:feedback=-0.7"
  [chorus]="chorus=min=5:max=40:rate=0.8:wet=0.7:dry=0.6:feedback=0.4"
  [compress]="compress=threshold=-24:ratio=2.5:attack=2:release=300"
  [widen]="widen=width=0.4"
)
nine=lowpass,highpass,compress,distort,tremolo,echo,chorus,flanger,reverb
sox_nine="lowpass -1 3000 highpass -1 300 compand 0.01,0.1 -12,-12,0,-9 overdrive tremolo 5 70 \
echo 0.8 0.9 350 0.45 chorus 0.7 0.9 55 0.4 0.25 2 -t flanger reverb"

commands=("cat|cat $in16 > $out.wav")
for effect in "${effects[@]}"; do
  commands+=("old $effect|$old $in16 $out.wav $effect" "new $effect|$wavfx $in16 $out.wav $effect"
    "24-bit $effect|$wavfx $work/in24.wav $out.wav $effect"
    "float $effect|$wavfx $work/inf32.wav $out.wav $effect")
  [ -n "${changed[$effect]:-}" ] &&
    commands+=("set $effect|$wavfx $in16 $out.wav ${changed[$effect]}")
done
commands+=(
  "wavfx nine|$wavfx $in16 $out.wav $nine"
  "sox nine|sox -D $in16 $out.wav $sox_nine"
  "wavfx flac|$wavfx $work/in.flac $out.flac none"
  "wavfx flac lowpass|$wavfx $work/in.flac $out.flac lowpass"
  "flac decode+encode|flac -s -d -f -o $work/decoded.wav $work/in.flac && flac -s -f -o $out.flac $work/decoded.wav"
)

declare -A times=()
for ((round = 1; round <= rounds; ++round)); do
  echo "round $round of $rounds" >&2
  for entry in "${commands[@]}"; do
    name=${entry%%|*}
    start=$EPOCHREALTIME
    bash -c "${entry#*|}" >/dev/null 2>&1 || { echo "failed: ${entry#*|}" >&2; exit 1; }
    end=$EPOCHREALTIME
    times[$name]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }') "
  done
done
median() { tr ' ' '\n' <<<"${times[$1]}" | grep . | sort -g | awk '{ v[NR] = $1 } END {
  print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
ratio() { awk -v a="$(median "$1")" -v b="$(median "$2")" 'BEGIN { printf "%.2f", a / b }'; }
sec() { awk -v s="$(median "$1")" 'BEGIN { printf "%.3f", s }'; }
yes_if() { awk -v r="$1" -v l="$2" "BEGIN { print (r $3 l ? \"yes\" : \"no\") }"; }

cpu=$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1)
echo "Written by \`scripts/bench_paths.sh $rounds $baseline_ref\` on $(date -u +%Y-%m-%d): $cpu," \
  "$(nproc) cores; input and output in tmpfs; medians of $rounds rounds; cat $(sec cat) s."
echo
echo "| effect | $baseline_ref s | now s | now / then | set s | set / default | 24-bit / 16 | float / 16 |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|"
for effect in "${effects[@]}"; do
  set_time="" set_ratio=""
  if [ -n "${changed[$effect]:-}" ]; then
    set_time=$(sec "set $effect")
    set_ratio=$(ratio "set $effect" "new $effect")
  fi
  echo "| $effect | $(sec "old $effect") | $(sec "new $effect") |" \
    "$(ratio "new $effect" "old $effect") | $set_time | $set_ratio |" \
    "$(ratio "24-bit $effect" "new $effect") | $(ratio "float $effect" "new $effect") |"
done
echo
echo "Nine-stage chain \`$nine\`: wavfx $(sec "wavfx nine") s, SoX -D with the same nine" \
  "effects $(sec "sox nine") s: $(ratio "sox nine" "wavfx nine")x faster (goal 5x:" \
  "$(yes_if "$(ratio "sox nine" "wavfx nine")" 5 '>=')). FLAC in and out: none" \
  "$(sec "wavfx flac") s, lowpass $(sec "wavfx flac lowpass") s, flac -d | flac" \
  "$(sec "flac decode+encode") s: $(ratio "wavfx flac lowpass" "flac decode+encode")x (goal" \
  "1.5x: $(yes_if "$(ratio "wavfx flac lowpass" "flac decode+encode")" 1.5 '<='))."
