#!/usr/bin/env bash
# Builds the Python module (scripts/python_build.sh) and runs its tests against the installed
# package; they compare with the command-line tool in build/. Extra arguments go to pytest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/python_build.sh"

cd "$root/build-python"  # the package is imported from the venv, not from python/
status=0
WAVFX_CLI="$root/build/wavfx" venv/bin/python -m pytest -q -p no:cacheprovider \
  -W "ignore:make_current is deprecated:DeprecationWarning" "$root/tests/python" "$@" || status=$?
if [ "$status" -eq 5 ]; then echo "No Python tests ran" >&2; fi
exit "$status"
