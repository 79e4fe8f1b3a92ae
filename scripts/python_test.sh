#!/usr/bin/env bash
# Builds the Python module into a venv under build-python/ and runs its tests against the installed
# package; the tests compare with the command-line tool, brought up to date in build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
python=/usr/bin/python3
venv=build-python/venv

[ -f build/CMakeCache.txt ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j 2 --target wavfx_cli wavfx_shared >/dev/null
[ -x "$venv/bin/python" ] || "$python" -m venv --system-site-packages "$venv"
PIP_CONFIG_FILE=/dev/null "$venv/bin/python" -m pip install --quiet --no-cache-dir \
  --no-build-isolation --no-index "$root"

cd build-python  # so that the package is imported from the venv, not from python/
status=0
WAVFX_CLI="$root/build/wavfx" "$venv/bin/python" -m pytest -q -p no:cacheprovider \
  -W "ignore:make_current is deprecated:DeprecationWarning" \
  "$root/tests/python" "$@" || status=$?
if [ "$status" -eq 5 ]; then echo "No Python tests ran" >&2; fi
exit "$status"
