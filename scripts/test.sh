#!/usr/bin/env bash
# Builds wavfx and runs every test: once in an optimised build, once under AddressSanitizer and
# UndefinedBehaviorSanitizer; then the concurrency test under ThreadSanitizer. The fuzz targets'
# seeds replay as tests in both builds; CI adds a short fuzzing run (scripts/fuzz.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh clang libclang-rt-14-dev
jobs=$(nproc)

scripts/build.sh build
(cd build && ctest --output-on-failure -j "$jobs")
# The README's and the man page's effect tables are views of the registry.
/usr/bin/python3 scripts/effect_docs.py build/wavfx --check

# -O1 keeps the sanitizers' reports exact and the run several times shorter than -O0.
scripts/build.sh build-sanitize -DWAVFX_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DWAVFX_BENCHMARKS=OFF
(cd build-sanitize && ctest --output-on-failure -j "$jobs")

cmake -S "$root" -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DWAVFX_SANITIZE=thread -DWAVFX_BENCHMARKS=OFF >/dev/null
cmake --build build-tsan --target test_concurrency
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/test_concurrency

scripts/python_test.sh
