#!/usr/bin/env bash
# The two-pole families against SoX's filters of the same names, and freeverb against SoX's
# reverb: `sox -D` writing 32-bit floats and wavfx over the same float file must agree within
# -100 dB (the filters) or -110 dB (freeverb, on input a quarter of full scale, so that SoX's
# integer samples do not clip): the RMS of the difference over the RMS of SoX's output. A mono
# input meets SoX's reverb with a stereo depth: SoX mixes its two outputs back to one channel,
# as freeverb does in place. Usage: scripts/sox_filters.sh [BUILD_DIR]   (default build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
command -v sox >/dev/null || { echo "sox_filters: sox is not installed, skipped"; exit 0; }
work=$(mktemp -d /dev/shm/wavfx-sox-filters.XXXXXX)
trap 'rm -rf "$work"' EXIT
helper=$root/tests/plugins/host_files.py

# limit dB | channels | rate | SoX's effect | the wavfx chain
cases=(
  "-110|1|44100|reverb|freeverb"
  "-110|2|44100|reverb|freeverb"
  "-110|1|48000|reverb 80 30 60 50 20 3|freeverb=reverberance=80:damping=30:room=60:depth=50:predelay=20:wet=3"
  "-110|2|22050|reverb -w 100 0 0 100 0 -10|freeverb=wetonly=yes:reverberance=100:damping=0:room=0:wet=-10"
  "-110|2|96000|reverb 0 100 100 0 500 6|freeverb=reverberance=0:damping=100:depth=0:predelay=500:wet=6"
  "-110|3|44100|reverb 60 40 70 30 5|freeverb=reverberance=60:damping=40:room=70:depth=30:predelay=5"
  "-100|2|48000|lowpass 2000|lowpass=poles=2:cutoff=2000"
  "-100|2|48000|lowpass 500 3q|lowpass=poles=2:cutoff=500:q=3"
  "-100|2|48000|highpass 200|highpass=poles=2:cutoff=200"
  "-100|2|192000|highpass 20|highpass=poles=2:cutoff=20"
  "-100|2|48000|bandpass 800 3q|bandpass=frequency=800:q=3"
  "-100|2|44100|bandpass -c 800 100h|bandpass=frequency=800:width=100:peak=skirt"
  "-100|2|48000|bandreject 500 1o|bandreject=frequency=500:width=1:unit=octaves"
  "-100|2|44100|bandreject 6000 2q|bandreject=frequency=6000:q=2"
  "-100|2|48000|allpass 2000 0.8q|allpass=frequency=2000:q=0.8"
  "-100|2|48000|equalizer 1000 2q 5|equalizer=frequency=1000:q=2:gain=5"
  "-100|2|44100|equalizer 300 1.5o -6|equalizer=frequency=300:width=1.5:unit=octaves:gain=-6"
  "-100|2|48000|bass 6|bass=gain=6"
  "-100|2|192000|bass 4 50|bass=gain=4:frequency=50"
  "-100|2|44100|bass -5 200 0.8s|bass=gain=-5:frequency=200:slope=0.8"
  "-100|2|48000|treble -4|treble=gain=-4"
  "-100|2|96000|treble 3 5000 1q|treble=gain=3:frequency=5000:width=1:unit=q"
)
failures=0
for entry in "${cases[@]}"; do
  IFS='|' read -r limit channels rate effect chain <<<"$entry"
  input=$work/in-$channels-$rate.wav
  [ -f "$input" ] || /usr/bin/python3 "$helper" make "$input" "$channels" "$rate" 2
  if [[ $effect == reverb* ]]; then
    [ -f "${input%.wav}-quiet.wav" ] ||
      sox "$input" -e floating-point -b 32 "${input%.wav}-quiet.wav" vol 0.25
    input=${input%.wav}-quiet.wav
  fi
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
  if ! awk -v db="$db" -v limit="$limit" 'BEGIN { exit !(db <= limit) }'; then verdict=FAILED; failures=$((failures + 1)); fi
  printf '%-11s %-30s %-62s %7s dB %s\n' "$channels ch $rate" "$effect" "$chain" "$db" "$verdict"
done
[ "$failures" -eq 0 ] || { echo "sox_filters: $failures case(s) beyond their limit"; exit 1; }
