#!/usr/bin/env bash
# Builds wavfx and runs every test: the library's, the command line's and the plugins' (the fuzz
# targets' seeds replay as tests), the registry's views in the docs, and the Python module's.
# CI then runs them again under the sanitizers (scripts/sanitize.sh) and the longer checks.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
jobs=$(nproc)

scripts/build.sh build
(cd build && ctest --output-on-failure -j "$jobs")
# The README's and the man page's effect tables are views of the registry.
/usr/bin/python3 scripts/effect_docs.py build/wavfx --check

scripts/python_test.sh
