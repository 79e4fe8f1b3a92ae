#!/usr/bin/env bash
# Resampler benchmark, opt-in: quality of wavfx high and veryhigh, libsoxr HQ and VHQ and SoX's
# `rate` (tone sweep for passband ripple and the strongest alias or image, 1 kHz THD+N, a 23 kHz
# tone at -4 dBFS over noise at -150 dBFS from 96 to 44.1 kHz), then speed on a 10-minute 44.1 kHz
# stereo file in tmpfs to 48 and 16 kHz: wavfx high against libsoxr HQ in memory (one thread,
# median thread time) and, file to file, against `sox -D`. Writes the "Resampling" section of
# docs/benchmarks.md.
#
# Usage: scripts/bench_resample.sh [ROUNDS]   (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds=${1:-5}
scripts/setup.sh sox libsoxr-dev time

build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" --target wavfx wavfx_resample_bench wavfx_make_bench_wav >/dev/null
bench=$build/bench/wavfx_resample_bench

work=$(mktemp -d /dev/shm/wavfx-resample.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$build/bench/wavfx_make_bench_wav" "$work/in.wav" 10

quality=$("$bench" quality)

# Median processor seconds (user + system) of a command over the rounds.
median_time() {
  for _ in $(seq "$rounds"); do
    /usr/bin/time -f "%U %S" "$@" 2>&1 >/dev/null | tail -1
  done | awk '{print $1 + $2}' | sort -n | awk '{v[NR] = $1} END {printf "%.3f", v[int((NR + 1) / 2)]}'
}

speed=""
for rate in 48000 16000; do
  read -r wavfx soxr < <("$bench" speed "$work/in.wav" "$rate" "$rounds")
  wavfx_file=$(median_time "$build/wavfx" -q "$work/in.wav" "$work/out.wav" "resample=rate=$rate")
  sox_file=$(median_time sox -D "$work/in.wav" -r "$rate" "$work/out.wav")
  speed+=$(awk -v r="$rate" -v w="$wavfx" -v s="$soxr" -v wf="$wavfx_file" -v sf="$sox_file" \
    'BEGIN {printf "| 44100 -> %d | %.3f | %.3f | %.2f | %s | %.3f | %.3f | %.2f | %s |\n", r, w, s,
      s / w, (s / w >= 1 ? "yes" : "**no**"), wf, sf, sf / wf, (sf / wf >= 3 ? "yes" : "**no**")}')
  speed+=$'\n'
done

cpu=$(lscpu | sed -n 's/^Model name: *//p' | head -1)
section=$(cat <<EOT
## Resampling

Written by \`scripts/bench_resample.sh $rounds\` on $(date +%F). Machine: $cpu, $(nproc) cores; vector path of wavfx chosen at run time; libsoxr $(dpkg-query -W -f='${Version}' libsoxr0) through its C API with one thread; $(sox --version | sed 's/.*SoX/SoX/').

Quality, mono, float in and out. Ripple: spread of the gain in dB of 64 tones over the input band up to 90% and 95% of the lower Nyquist frequency. Worst spur: the strongest component other than the tone (aliases, images, noise bins) over all the tones, in dB below the tone, by a Kaiser-windowed (beta 20) FFT of 65536 output frames. THD+N: everything but 1 kHz at -1 dBFS up to 20 kHz or 90% of the lower Nyquist, against the tone. 23 kHz: the alias at 21.1 kHz of a 23 kHz tone at -4 dBFS over white noise at -150 dBFS RMS, in dBFS.

| converter | rates | ripple to 90% dB | ripple to 95% dB | worst spur dB | 1 kHz THD+N dB | 23 kHz alias dBFS |
|---|---|---:|---:|---:|---:|---:|
$quality

Speed, 10 minutes of 44.1 kHz stereo (wavfx_make_bench_wav) in tmpfs, $rounds rounds, medians. In memory: float frames in blocks of 4096 through wavfx high and libsoxr HQ into an output buffer allocated and touched before the clock starts, thread processor time. File: 16-bit WAV to 16-bit WAV, processor time (user + system), the command line \`wavfx -q in.wav out.wav resample=rate=RATE\` (quality high) against \`sox -D in.wav -r RATE out.wav\`.

| rates | wavfx high s | libsoxr HQ s | soxr / wavfx | goal: >= 1 | wavfx file s | sox -D s | sox / wavfx | goal: >= 3 |
|---|---:|---:|---:|---|---:|---:|---:|---|
$speed
EOT
)
/usr/bin/python3 scripts/bench_section.py "$section"
echo "$section"
