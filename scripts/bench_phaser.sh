#!/usr/bin/env bash
# Phaser and dither against SoX and FFmpeg (one thread) on a 10-minute 44.1 kHz stereo file in
# tmpfs, file to file, medians of processor time (user + system) over the rounds. Prints the
# "Phaser and dither" section of docs/benchmarks.md.
#
# Usage: scripts/bench_phaser.sh [ROUNDS] [BUILD]   (defaults 5 and build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds=${1:-5}
build=${2:-build}
wavfx=$build/wavfx
cmake --build "$build" --target wavfx wavfx_make_bench_wav wavfx_bench_memory >/dev/null

work=$(mktemp -d /dev/shm/wavfx-phaser.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$build/bench/wavfx_make_bench_wav" "$work/in.wav" 10
sox "$work/in.wav" -b 24 "$work/in24.wav"

median_time() {
  for _ in $(seq "$rounds"); do
    /usr/bin/time -f "%U %S" "$@" 2>&1 >/dev/null | tail -1
  done | awk '{print $1 + $2}' | sort -n | awk '{v[NR] = $1} END {printf "%.3f", v[int((NR + 1) / 2)]}'
}

ff=(ffmpeg -v error -y -threads 1 -filter_threads 1)
row() {  # name, wavfx command..., then -- sox command..., then -- ffmpeg command...
  local name=$1
  shift
  local w=() s=() f=()
  while [ "$1" != -- ]; do w+=("$1"); shift; done
  shift
  while [ "$1" != -- ]; do s+=("$1"); shift; done
  shift
  f=("$@")
  local tw ts tf
  tw=$(median_time "${w[@]}")
  ts=$(median_time "${s[@]}")
  tf=$(median_time "${f[@]}")
  awk -v n="$name" -v w="$tw" -v s="$ts" -v f="$tf" 'BEGIN {
    best = s < f ? s : f
    printf "| %s | %.3f | %.3f | %.3f | %.2f | %s |\n", n, w, s, f, best / w, (best / w >= 2.5 ? "yes" : "**no**")}'
}

memory=$("$build/bench/wavfx_bench_memory" "$work/in.wav" "$rounds" phaser recurrence \
  "24-bit:none" "24-bit:dither" | awk '{printf "%s%s %s s", (NR > 1 ? ", " : ""), $1, $2}')
none=$(median_time "$wavfx" -q "$work/in.wav" "$work/out.wav" none)
none24=$(median_time "$wavfx" -q "$work/in24.wav" "$work/out.wav" --bits 16 none)
rows=$(
  row "phaser (defaults)" "$wavfx" -q "$work/in.wav" "$work/out.wav" phaser \
    -- sox -D "$work/in.wav" "$work/out.wav" phaser \
    -- "${ff[@]}" -i "$work/in.wav" -af aphaser "$work/out.wav"
  row "dither tpdf, 24 to 16 bits" "$wavfx" -q "$work/in24.wav" "$work/out.wav" --bits 16 dither \
    -- sox -D "$work/in24.wav" -b 16 "$work/out.wav" dither \
    -- "${ff[@]}" -i "$work/in24.wav" -af aresample=osf=s16:dither_method=triangular \
    -c:a pcm_s16le "$work/out.wav"
  row "dither shaped, 24 to 16 bits" "$wavfx" -q "$work/in24.wav" "$work/out.wav" --bits 16 \
    dither=type=shaped \
    -- sox -D "$work/in24.wav" -b 16 "$work/out.wav" dither -s \
    -- "${ff[@]}" -i "$work/in24.wav" -af aresample=osf=s16:dither_method=shibata \
    -c:a pcm_s16le "$work/out.wav"
)

cat <<EOT
## Phaser and dither

Written by \`scripts/bench_phaser.sh $rounds\` on $(date +%F). Machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores shared with other work; $(sox --version | sed 's/.*SoX/SoX/') with -D; FFmpeg $(ffmpeg -version | head -1 | cut -d' ' -f3) with \`-threads 1 -filter_threads 1\`. Ten minutes of 44.1 kHz stereo (wavfx_make_bench_wav, and the same at 24 bits) in tmpfs, file to file, $rounds rounds, medians of processor time (user + system). SoX's and FFmpeg's phasers are modulated delay lines, not all-pass chains; the dither rows compare TPDF with SoX's \`dither\` and FFmpeg's triangular dither, and shaped with \`dither -s\` and FFmpeg's shibata. The file path alone (\`none\`) takes $none s on the 16-bit file and $none24 s from 24 to 16 bits. In memory (\`wavfx_bench_memory\`, thread time, medians; \`recurrence\` is the bare one-pole loop, a multiply and an add per frame and channel): $memory.

| chain | wavfx s | sox s | ffmpeg s | faster peer / wavfx | goal: >= 2.5 |
|---|---:|---:|---:|---:|---|
$rows
EOT
