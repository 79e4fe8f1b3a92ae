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
