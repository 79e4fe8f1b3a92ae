#!/usr/bin/env bash
# Every test again under AddressSanitizer and UndefinedBehaviorSanitizer (the fuzz targets' seeds
# replay as tests too), then every effect from 8 threads at once under ThreadSanitizer. Run by CI
# after scripts/test.sh; it builds two more trees, which is most of its time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh clang libclang-rt-14-dev
jobs=$(nproc)

# -O1 keeps the sanitizers' reports exact and the run several times shorter than -O0.
scripts/build.sh build-sanitize -DWAVFX_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DWAVFX_BENCHMARKS=OFF
(cd build-sanitize && ctest --output-on-failure -j "$jobs")

cmake -S "$root" -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DWAVFX_SANITIZE=thread -DWAVFX_BENCHMARKS=OFF >/dev/null
cmake --build build-tsan --target test_concurrency
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/test_concurrency
