#!/usr/bin/env bash
# tempo and pitch against SoX and FFmpeg (one thread) on a 10-minute 44.1 kHz stereo file in
# tmpfs: processor seconds (user + system), medians over the rounds, in one run. Writes the
# "Tempo and pitch" section of docs/benchmarks.md.
#
# Usage: scripts/bench_tempo.sh [ROUNDS]   (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds=${1:-5}
scripts/setup.sh sox ffmpeg time

build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" --target wavfx_cli wavfx_make_bench_wav >/dev/null

work=$(mktemp -d /dev/shm/wavfx-tempo.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$build/bench/wavfx_make_bench_wav" "$work/in.wav" 10
in=$work/in.wav
out=$work/out.wav

median_time() {
  for _ in $(seq "$rounds"); do
    /usr/bin/time -f "%U %S" "$@" 2>&1 >/dev/null | tail -1
  done | awk '{print $1 + $2}' | sort -n | awk '{v[NR] = $1} END {printf "%.3f", v[int((NR + 1) / 2)]}'
}

ff=(ffmpeg -nostdin -v error -y -threads 1 -filter_threads 1 -i "$in")
rows=""
row() {  # name wavfx-chain sox-effect... -- ffmpeg-filter
  local name=$1 chain=$2 filter=$3
  shift 3
  local w s f
  w=$(median_time "$build/wavfx" --quiet "$in" "$out" "$chain")
  s=$(median_time sox -D "$in" "$out" "$@")
  f=$(median_time "${ff[@]}" -af "$filter" "$out")
  rows+=$(awk -v n="$name" -v c="$chain" -v so="sox -D in.wav out.wav $*" -v fi="$filter" \
    -v w="$w" -v s="$s" -v f="$f" 'BEGIN {
      best = s < f ? s : f
      printf "| %s | `%s` | `%s` | `%s` | %.3f | %.3f | %.3f | %.2f | %s |\n", n, c, so, fi, w, s,
        f, best / w, (best / w >= 2.5 ? "yes" : "**no**")}')
  rows+=$'\n'
}
row tempo tempo=factor=1.1 atempo=1.1 tempo 1.1
row pitch pitch=cents=300 "asetrate=44100*1.18920711500272,aresample=44100,atempo=1/1.18920711500272" pitch 300
row "pitch, high" pitch=cents=300:quality=high "asetrate=44100*1.18920711500272,aresample=44100,atempo=1/1.18920711500272" pitch 300

cpu=$(lscpu | sed -n 's/^Model name: *//p' | head -1)
section=$(cat <<EOT
## Tempo and pitch

Written by \`scripts/bench_tempo.sh $rounds\` on $(date +%F). Machine: $cpu, $(nproc) cores; $(sox --version | sed 's/.*SoX/SoX/'); $(ffmpeg -version | head -1 | cut -d' ' -f1-3), one thread.

10 minutes of 44.1 kHz stereo (wavfx_make_bench_wav) in tmpfs, 16-bit WAV to 16-bit WAV, processor time (user + system), medians of $rounds rounds in one run. The goal: wavfx at least 2.5 times faster than the faster peer. FFmpeg's pitch is its usual recipe (rate relabelled, resampled back, tempo restored); its default resampler is a short filter, like wavfx pitch's default \`low\`; SoX's pitch resamples at its \`high\`.

| stage | wavfx | SoX | FFmpeg | wavfx s | SoX s | FFmpeg s | faster peer / wavfx | goal: >= 2.5 |
|---|---|---|---|---:|---:|---:|---:|---|
$rows
EOT
)
/usr/bin/python3 scripts/bench_section.py "$section"
echo "$section"
