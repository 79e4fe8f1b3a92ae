#!/usr/bin/env bash
# freeverb against SoX's reverb with the same settings, opt-in (not in CI): ten minutes of 44.1 kHz
# stereo 16-bit (wavfx_make_bench_wav) in tmpfs, file to file, medians of processor time (user +
# system) over ROUNDS rounds in one run, each command in turn. Prints the section of
# docs/benchmarks.md; --write puts it there (scripts/bench_section.py).
# Usage: scripts/bench_freeverb.sh [ROUNDS] [BUILD_DIR] [--write]   (default 5, build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds=${1:-5}
build=${2:-build}
write=${3:-}
wavfx=$build/wavfx
cmake --build "$build" -j 2 --target wavfx wavfx_make_bench_wav >/dev/null

work=$(mktemp -d /dev/shm/wavfx-freeverb.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$build/bench/wavfx_make_bench_wav" "$work/in.wav" 10

# "median wall" of the commands' rounds
median_time() {
  for _ in $(seq "$rounds"); do
    /usr/bin/time -f "%U %S %e" "$@" 2>&1 >/dev/null | tail -1
  done | awk '{print $1 + $2, $3}' | sort -n |
    awk '{v[NR] = $1; w[NR] = $2} END {m = int((NR + 1) / 2); printf "%.3f (%.3f)", v[m], w[m]}'
}

row() {  # wavfx chain, SoX's effect
  local tw ts
  tw=$(median_time "$wavfx" -q "$work/in.wav" "$work/out.wav" "$1")
  # shellcheck disable=SC2086  # the effect is words
  ts=$(median_time sox -D "$work/in.wav" "$work/out.wav" $2)
  awk -v c="$1" -v e="$2" -v w="$tw" -v s="$ts" 'BEGIN {
    split(w, a, " "); split(s, b, " ")
    printf "| `%s` | %s | %s `%s` | %.2f x |\n", c, w, s, e, b[1] / a[1]}'
}

rows=$(
  row freeverb reverb
  row "freeverb=reverberance=80:damping=30:room=60:depth=50:predelay=20:wet=3" \
    "reverb 80 30 60 50 20 3"
  row "freeverb=depth=0" "reverb 50 50 100 0"
)

section=$(cat <<EOT
## Freeverb

Written by \`scripts/bench_freeverb.sh $rounds\` on $(date +%F) ($(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt") build). Machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores shared with other work; $(sox --version | sed 's/.*SoX/SoX/') with -D. Ten minutes of 44.1 kHz stereo 16-bit (wavfx_make_bench_wav) in tmpfs, file to file, $rounds rounds in one run, medians of processor time (user + system), wall-clock in parentheses (the shared machine's load inflates it). Both run the same network in single precision; wavfx runs a network's eight combs side by side on each sample, SoX one after the other. A stereo depth doubles the networks.

| chain | wavfx s | sox -D s | sox / wavfx |
|---|---:|---:|---:|
$rows
EOT
)
echo "$section"
[ "$write" != --write ] || /usr/bin/python3 scripts/bench_section.py "$section"
