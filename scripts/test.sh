#!/usr/bin/env bash
# Builds wavfx and runs every test: once in an optimised build, once under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
jobs=$(nproc)

scripts/build.sh build
(cd build && ctest --output-on-failure -j "$jobs")

scripts/build.sh build-sanitize -DWAVFX_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug
(cd build-sanitize && ctest --output-on-failure -j "$jobs")
