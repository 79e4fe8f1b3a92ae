#!/usr/bin/env bash
# Batches of clips through an augmentation chain, wavfx against torchaudio's sox_effects
# (scripts/bench_batch.py), run in /dev/shm; writes the "Batches for training" section of
# docs/benchmarks.md. Usage: scripts/bench_batch.sh [ROUNDS]   (default 7)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/python_build.sh"
cd /dev/shm
"$root/build-python/venv/bin/python" "$root/scripts/bench_batch.py" "$@"
