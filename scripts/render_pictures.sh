#!/usr/bin/env bash
# Renders the spectrogram of the demo input and of each effect's output to docs/pictures/*.png
# (with SoX), for the README.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh sox
scripts/build.sh build
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
mkdir -p docs/pictures
for effect in none antique echo reverb tremolo distort lowpass highpass bitcrush flanger chorus \
  compress widen; do
  build/wavfx demo/demo.wav "$out/$effect.wav" "$effect"
  title="wavfx $effect (left channel)"
  [ "$effect" = none ] && title="demo input (left channel)"
  sox "$out/$effect.wav" -n remix 1 spectrogram -x 480 -y 160 -z 90 -t "$title" \
    -o "docs/pictures/$effect.png"
done
ls docs/pictures
