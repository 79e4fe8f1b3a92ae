#!/usr/bin/env bash
# Times the Python module against SciPy, NumPy and the C API, and writes the Python section of
# docs/benchmarks.md. Installs SciPy (Debian's python3-scipy) when it is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" python3-scipy
"$root/scripts/python_build.sh"
cd /dev/shm
"$root/build-python/venv/bin/python" "$root/bench/python/bench_python.py" "$root/build/libwavfx.so" \
  --write "$root/docs/benchmarks.md" "$@"
