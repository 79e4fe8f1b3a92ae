#!/usr/bin/env bash
# The two-pole families against SoX's filters of the same names: `sox -D` writing 32-bit floats
# and wavfx over the same float file must agree within -100 dB (the RMS of the difference over
# the RMS of SoX's output). Usage: scripts/sox_filters.sh [BUILD_DIR]   (default build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
command -v sox >/dev/null || { echo "sox_filters: sox is not installed, skipped"; exit 0; }
work=$(mktemp -d /dev/shm/wavfx-sox-filters.XXXXXX)
trap 'rm -rf "$work"' EXIT
helper=$root/tests/plugins/host_files.py

# rate | SoX's effect | the wavfx chain
cases=(
  "48000|lowpass 2000|lowpass=poles=2:cutoff=2000"
  "48000|lowpass 500 3q|lowpass=poles=2:cutoff=500:q=3"
  "48000|highpass 200|highpass=poles=2:cutoff=200"
  "192000|highpass 20|highpass=poles=2:cutoff=20"
  "48000|bandpass 800 3q|bandpass=frequency=800:q=3"
  "44100|bandpass -c 800 100h|bandpass=frequency=800:width=100:peak=skirt"
  "48000|bandreject 500 1o|bandreject=frequency=500:width=1:unit=octaves"
  "44100|bandreject 6000 2q|bandreject=frequency=6000:q=2"
  "48000|allpass 2000 0.8q|allpass=frequency=2000:q=0.8"
  "48000|equalizer 1000 2q 5|equalizer=frequency=1000:q=2:gain=5"
  "44100|equalizer 300 1.5o -6|equalizer=frequency=300:width=1.5:unit=octaves:gain=-6"
  "48000|bass 6|bass=gain=6"
  "192000|bass 4 50|bass=gain=4:frequency=50"
  "44100|bass -5 200 0.8s|bass=gain=-5:frequency=200:slope=0.8"
  "48000|treble -4|treble=gain=-4"
  "96000|treble 3 5000 1q|treble=gain=3:frequency=5000:width=1:unit=q"
)
failures=0
for entry in "${cases[@]}"; do
  IFS='|' read -r rate effect chain <<<"$entry"
  input=$work/in-$rate.wav
  [ -f "$input" ] || /usr/bin/python3 "$helper" make "$input" 2 "$rate" 2
  # shellcheck disable=SC2086  # the effect is words
  sox -D "$input" -e floating-point -b 32 "$work/sox.wav" $effect
  "$build/wavfx" -q "$input" "$work/wavfx.wav" "$chain"
  db=$(/usr/bin/python3 - "$helper" "$work/sox.wav" "$work/wavfx.wav" <<'PY'
import math, runpy, sys
read = runpy.run_path(sys.argv[1])["read"]
sox, ours = read(sys.argv[2])[2], read(sys.argv[3])[2]
assert len(sox) == len(ours)
signal = sum(x * x for x in sox)
noise = sum((x - y) ** 2 for x, y in zip(sox, ours))
print(f"{10 * math.log10(max(noise, 1e-300) / signal):.1f}")
PY
)
  verdict=ok
  if ! awk -v db="$db" 'BEGIN { exit !(db <= -100) }'; then verdict=FAILED; failures=$((failures + 1)); fi
  printf '%-7s %-26s %-62s %7s dB %s\n' "$rate" "$effect" "$chain" "$db" "$verdict"
done
[ "$failures" -eq 0 ] || { echo "sox_filters: $failures case(s) beyond -100 dB"; exit 1; }
