#!/usr/bin/env bash
# The loudness meter against libebur128 on real music (asc-music's MP3s, two minutes each) and
# speech (espeak-ng reading a paragraph), at 44.1 and 48 kHz: integrated loudness within 0.01 LU
# and the short-term maximum within 0.02 LU. Files are made in tmpfs.
# Usage: scripts/loudness_peers.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh ffmpeg asc-music espeak-ng libebur128-dev
scripts/build.sh build >/dev/null
work=$(mktemp -d /dev/shm/wavfx-loudness.XXXXXX)
trap 'rm -rf "$work"' EXIT

music=/usr/share/games/asc/music
espeak-ng -w "$work/speech.wav" -s 150 "Loudness is measured in blocks of four hundred \
milliseconds. Quiet passages fall below the gates and do not count, so a programme with long \
pauses between its sentences measures as loud as its speech, not as its silence. This sentence \
is spoken a little faster, and this one slowly, with a pause... before the end."
files=()
for rate in 44100 48000; do
  for piece in frontiers machine_wars time_to_strike; do
    ffmpeg -nostdin -v error -y -i "$music/$piece.mp3" -t 120 -ar "$rate" -c:a pcm_s16le \
      "$work/$piece-$rate.wav"
    files+=("$work/$piece-$rate.wav")
  done
  ffmpeg -nostdin -v error -y -i "$work/speech.wav" -ar "$rate" -c:a pcm_f32le \
    "$work/speech-$rate.wav"
  files+=("$work/speech-$rate.wav")
done
build/bench/wavfx_loudness_peer compare "${files[@]}"

# loudnorm over quiet speech, loud music and music whose linear gain would clip: the output's
# integrated loudness within 0.1 LU of the target, its true peak at or below the ceiling, by the
# meter itself and by libebur128.
status=0
for case in "speech-48000.wav gain=db=-25,loudnorm" "frontiers-44100.wav loudnorm=target=-16" \
  "machine_wars-48000.wav loudnorm=target=-12:ceiling=-1"; do
  read -r name chain <<<"$case"
  build/wavfx -q "$work/$name" "$work/out.wav" "$chain"
  target=$(sed -n 's/.*target=\([-0-9.]*\).*/\1/p' <<<"$chain")
  build/wavfx --stats --json "$work/out.wav" | /usr/bin/python3 -c "
import json, sys
r = json.load(sys.stdin)
target, ceiling = float(sys.argv[1] or -23), -1.0
ok = abs(r['integrated_lufs'] - target) <= 0.1 and r['true_peak_dbtp'] <= ceiling
print(('ok  ' if ok else 'FAIL'), sys.argv[2], 'I', round(r['integrated_lufs'], 3), 'TP', round(r['true_peak_dbtp'], 3))
sys.exit(0 if ok else 1)" "$target" "$name $chain" || status=1
  build/bench/wavfx_loudness_peer reaches "$work/out.wav" "${target:--23}" -1 || status=1
done
exit $status
