#!/usr/bin/env bash
# Builds wavfx and applies every effect to the demo file, writing out/<effect>.wav.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
scripts/build.sh build
mkdir -p out
for effect in none antique echo reverb tremolo distort lowpass highpass bitcrush flanger \
  chorus compress widen; do
  build/wavfx demo/demo.wav "out/$effect.wav" "$effect"
  echo "out/$effect.wav"
done
