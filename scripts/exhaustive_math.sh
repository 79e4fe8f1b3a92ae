#!/usr/bin/env bash
# Checks the effects' fast paths against their references on every input they can get: the
# oscillators' sine (1.1e9 phases) and the compressor's power (7.5e8 ratios and settings) against the C
# library, FloatToSample's vector forms on all 2^32 floats, the memoryless effects' vector paths
# on every sample and stereo frame, and the oscillators' phase runs at every rate to 96 kHz.
# About two minutes on two cores.
# Usage: scripts/exhaustive_math.sh [sine|power|samples|effects|phases]...  (all when none given)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target wavfx_exhaustive_math >/dev/null
"$build/bench/wavfx_exhaustive_math" "$@"
