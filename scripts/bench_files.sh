#!/usr/bin/env bash
# Whole-file benchmark, opt-in (not in CI): every wavfx effect on two 10-minute 44100 Hz stereo
# 16-bit files in tmpfs (real music decoded from the MP3s of Debian's asc-music package, and the
# synthetic bench input), side by side in every round with cat, dd (read and write through a
# 128 KiB buffer), the nearest effects of SoX (-D) and FFmpeg (one thread), parameterised effects,
# the nine-stage chain, 24-bit and float copies of the input; the effects' in-memory times and the
# one-pole recurrence from wavfx_bench_memory; and peak memory on 1 and 60 minutes. Writes
# docs/benchmarks.md (scripts/bench_files.py does the measuring and the tables).
#
# Usage: scripts/bench_files.sh [ROUNDS] [--only-reshaping]   (default 5 rounds)
# --only-reshaping measures only the stages that reshape the stream (and gain) and replaces their
# section of docs/benchmarks.md, leaving the rest as it is.
# WAVFX_BENCH_HOOKS names a file of extra commands compared per sample with the 16-bit CLI, one
# "label|effect|command" a line, the command using {in} and {out} (the Python module's and the
# plugins' hosts, once they exist).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds=${1:-5}
shift || true
scripts/setup.sh sox ffmpeg time asc-music

build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" --target wavfx_cli wavfx_make_bench_wav wavfx_bench_memory >/dev/null

work=$(mktemp -d /dev/shm/wavfx-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Real music: the three pieces of asc-music, resampled to 44100 Hz, the first 10 minutes.
music=/usr/share/games/asc/music
if [ -f "$music/frontiers.mp3" ]; then
  ffmpeg -nostdin -v error -y -i "$music/frontiers.mp3" -i "$music/machine_wars.mp3" \
    -i "$music/time_to_strike.mp3" \
    -filter_complex "[0:a][1:a][2:a]concat=n=3:v=0:a=1,aresample=44100" -t 600 -ac 2 \
    -c:a pcm_s16le -map_metadata -1 -fflags +bitexact -flags:a +bitexact "$work/music.wav"
  music_label="music (asc-music MP3s, decoded)"
else
  sox demo/demo.wav -r 44100 -c 2 "$work/demo.wav"
  sox "$work/demo.wav" "$work/music.wav" repeat 9999 trim 0 600
  music_label="demo/demo.wav repeated"
fi
"$build/bench/wavfx_make_bench_wav" "$work/synthetic.wav" 10

/usr/bin/python3 scripts/bench_files.py --rounds "$rounds" --work "$work" \
  --wavfx "$build/wavfx" --memory-tool "$build/bench/wavfx_bench_memory" \
  --make-wav "$build/bench/wavfx_make_bench_wav" --input "$music_label=$work/music.wav" \
  --input "synthetic (wavfx_make_bench_wav)=$work/synthetic.wav" --output docs/benchmarks.md "$@"
