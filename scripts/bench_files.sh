#!/usr/bin/env bash
# Whole-file benchmark: streams a 10-minute 44100 Hz stereo file (106 MB, in the page cache)
# through cat, cp, every wavfx effect and the nearest effects of SoX and FFmpeg (one thread
# each), side by side in every round, and writes the medians to docs/benchmarks.md together
# with the peak memory of wavfx on 1 and 60 minutes of audio. Installs sox and ffmpeg from
# Debian when they are missing.
#
# Usage: scripts/bench_files.sh [ROUNDS]   (default 5; WAVFX_BENCH_DIR sets the scratch folder)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds=${1:-5}
scripts/setup.sh sox ffmpeg time

build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target wavfx_cli wavfx_make_bench_wav >/dev/null
wavfx=$root/$build/wavfx

work=$(mktemp -d "${WAVFX_BENCH_DIR:-${TMPDIR:-/tmp}}/wavfx-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
input=$work/input.wav
output=$work/output.wav
"$build/bench/wavfx_make_bench_wav" "$input" 10
bytes=$(stat -c %s "$input")
cat "$input" >/dev/null  # into the page cache

# name|command, the output being $output. Each wavfx effect's peers follow it in the table.
ffmpeg_af() { echo "ffmpeg -nostdin -v error -y -filter_threads 1 -threads 1 -i $input -af $1 $output"; }
commands=(
  "cat|cat $input > $output"
  "cp|cp $input $output"
)
effects=(none antique echo reverb tremolo distort lowpass highpass bitcrush flanger chorus
  compress widen)
for effect in "${effects[@]}"; do
  commands+=("wavfx $effect|$wavfx $input $output $effect")
done
commands+=(
  "sox lowpass -1 3000|sox -D $input $output lowpass -1 3000"
  "sox highpass -1 300|sox -D $input $output highpass -1 300"
  "sox echo|sox -D $input $output echo 0.8 0.9 350 0.45"
  "sox reverb|sox -D $input $output reverb"
  "sox flanger|sox -D $input $output flanger"
  "sox chorus|sox -D $input $output chorus 0.7 0.9 55 0.4 0.25 2 -t"
  "sox compand|sox -D $input $output compand 0.01,0.1 -12,-12,0,-9"
  "sox tremolo|sox -D $input $output tremolo 5 70"
  "sox overdrive|sox -D $input $output overdrive"
  "ffmpeg aecho|$(ffmpeg_af aecho)"
  "ffmpeg tremolo|$(ffmpeg_af tremolo)"
  "ffmpeg lowpass|$(ffmpeg_af lowpass=f=3000:p=1)"
  "ffmpeg highpass|$(ffmpeg_af highpass=f=300:p=1)"
  "ffmpeg flanger|$(ffmpeg_af flanger)"
  "ffmpeg chorus|$(ffmpeg_af chorus=0.7:0.9:55:0.4:0.25:2)"
  "ffmpeg acompressor|$(ffmpeg_af acompressor)"
  "ffmpeg acrusher|$(ffmpeg_af acrusher=bits=8)"
  "ffmpeg stereowiden|$(ffmpeg_af stereowiden)"
  "ffmpeg asoftclip|$(ffmpeg_af asoftclip)"
)

# The nearest effects of the peers, for each wavfx effect.
declare -A peers=(
  [none]="cp|cat"
  [antique]="sox lowpass -1 3000|ffmpeg lowpass|ffmpeg acrusher"
  [echo]="sox echo|ffmpeg aecho"
  [reverb]="sox reverb"
  [tremolo]="sox tremolo|ffmpeg tremolo"
  [distort]="sox overdrive|ffmpeg asoftclip"
  [lowpass]="sox lowpass -1 3000|ffmpeg lowpass"
  [highpass]="sox highpass -1 300|ffmpeg highpass"
  [bitcrush]="ffmpeg acrusher"
  [flanger]="sox flanger|ffmpeg flanger"
  [chorus]="sox chorus|ffmpeg chorus"
  [compress]="sox compand|ffmpeg acompressor"
  [widen]="ffmpeg stereowiden"
)
memoryless=" distort bitcrush widen tremolo "

declare -A times=()
for ((round = 1; round <= rounds; ++round)); do
  echo "round $round of $rounds" >&2
  for entry in "${commands[@]}"; do
    name=${entry%%|*}
    rm -f "$output"
    start=$EPOCHREALTIME
    bash -c "${entry#*|}" >/dev/null 2>&1 || { echo "failed: ${entry#*|}" >&2; exit 1; }
    end=$EPOCHREALTIME
    times[$name]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }') "
  done
done
rm -f "$output"

median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{ v[NR] = $1 } END {
  print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
declare -A seconds=()
for entry in "${commands[@]}"; do
  name=${entry%%|*}
  seconds[$name]=$(median "${times[$name]}")
done
mbps() { awk -v b="$bytes" -v s="$1" 'BEGIN { printf "%.0f", b / s / 1e6 }'; }

table=$work/table.md
{
  echo "| wavfx effect | wavfx MB/s | nearest peers, MB/s | fastest peer's time / wavfx's | goal | met |"
  echo "|---|---:|---|---:|---|---|"
  for effect in "${effects[@]}"; do
    mine=${seconds["wavfx $effect"]}
    best=""
    list=""
    IFS='|' read -ra names <<<"${peers[$effect]}"
    for peer in "${names[@]}"; do
      t=${seconds[$peer]}
      list+="${list:+, }$peer $(mbps "$t")"
      if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
    done
    ratio=$(awk -v p="$best" -v m="$mine" 'BEGIN { printf "%.2f", p / m }')
    if [ "$effect" = none ]; then
      goal="time <= 1.25 x cp"
      met=$(awk -v m="$mine" -v c="${seconds[cp]}" 'BEGIN { print (m <= 1.25 * c ? "yes" : "no") }')
    else
      goal=">= 2 x fastest peer"
      met=$(awk -v r="$ratio" 'BEGIN { print (r >= 2 ? "yes" : "no") }')
      if [[ $memoryless == *" $effect "* ]]; then
        goal+=", >= 1500 MB/s"
        met=$(awk -v r="$ratio" -v s="$(mbps "$mine")" \
          'BEGIN { print (r >= 2 && s >= 1500 ? "yes" : "no") }')
      fi
    fi
    echo "| $effect | $(mbps "$mine") | $list | $ratio | $goal | $met |"
  done
} >"$table"

# Peak resident memory of wavfx on 1 and 60 minutes of the same music.
memory=$work/memory.md
"$build/bench/wavfx_make_bench_wav" "$work/one.wav" 1
"$build/bench/wavfx_make_bench_wav" "$work/sixty.wav" 60
peak() {  # input, effect: kilobytes
  rm -f "$output"
  /usr/bin/time -f %M "$wavfx" "$1" "$output" "$2" 2>&1 >/dev/null | tail -n 1
}
{
  echo "| wavfx effect | peak memory, 1 minute (KiB) | peak memory, 60 minutes (KiB) |"
  echo "|---|---:|---:|"
  for effect in "${effects[@]}"; do
    echo "| $effect | $(peak "$work/one.wav" "$effect") | $(peak "$work/sixty.wav" "$effect") |"
  done
} >"$memory"
rm -f "$output" "$work/one.wav" "$work/sixty.wav"

cpu=$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1)
mkdir -p docs
{
  echo "# Benchmarks"
  echo
  echo "Written by \`scripts/bench_files.sh $rounds\` on $(date -u +%Y-%m-%d)."
  echo
  echo "Machine: $cpu, $(nproc) cores, $(free -g | awk '/^Mem:/ { print $2 }') GiB of memory," \
    "Linux $(uname -r); wavfx built by $(c++ --version | head -n 1) in Release mode;" \
    "$(sox --version 2>&1 | sed -n 's/.*\(SoX v[^ ]*\).*/\1/p'), FFmpeg" \
    "$(ffmpeg -version | awk 'NR == 1 { print $3 }') from Debian."
  echo
  echo "A 10-minute 44100 Hz stereo file of synthesized music ($bytes bytes) is read from the" \
    "page cache and written to a new file on the same file system by every command in turn," \
    "$rounds rounds; the table gives the median of each command's wall-clock time as MB/s" \
    "(10^6 bytes per second). cat: $(mbps "${seconds[cat]}") MB/s, cp: $(mbps "${seconds[cp]}") MB/s." \
    "SoX runs with -D (no dither), FFmpeg with -filter_threads 1 -threads 1."
  echo
  cat "$table"
  echo
  echo "Peak resident memory (GNU time, %M) does not grow with the length of the file:"
  echo
  cat "$memory"
} >docs/benchmarks.md
cat docs/benchmarks.md
