#!/usr/bin/env bash
# Installs the Python module into the venv build-python/venv (made with Debian's Python and its
# packages), and brings the command-line tool and libwavfx.so in build/ up to date.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
venv=build-python/venv

[ -f build/CMakeCache.txt ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j 2 --target wavfx_cli wavfx_shared >/dev/null
[ -x "$venv/bin/python" ] || /usr/bin/python3 -m venv --system-site-packages "$venv"
PIP_CONFIG_FILE=/dev/null "$venv/bin/python" -m pip install --quiet --no-cache-dir \
  --no-build-isolation --no-index "$root"
