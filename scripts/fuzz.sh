#!/usr/bin/env bash
# Fuzzes WAVEffect with libFuzzer for SECONDS (default 60), e.g. `scripts/fuzz.sh 3600` for a
# long run. Builds with Clang into build-fuzz, regenerates the seed corpus and grows the corpus
# kept in build-fuzz/corpus from one run to the next. A crashing input is saved in
# build-fuzz/artifacts; keep it in tests/fuzz/regressions once fixed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
dir=$root/build-fuzz

CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DWAVFX_FUZZ=ON -DWAVFX_UNIT_TESTS=OFF -DWAVFX_BENCHMARKS=OFF >/dev/null
cmake --build "$dir" --target wavfx_fuzzer wavfx_fuzz_seeds
mkdir -p "$dir/corpus" "$dir/artifacts"
rm -rf "$dir/seeds"
"$dir/tests/fuzz/wavfx_fuzz_seeds" "$dir/seeds"

# The library's diagnostics (-close_fd_mask=2) would drown libFuzzer's own lines.
log=$dir/fuzz.log
status=0
"$dir/tests/fuzz/wavfx_fuzzer" -max_total_time="$seconds" -max_len=16384 -timeout=10 \
  -rss_limit_mb=2048 -close_fd_mask=2 -print_final_stats=1 -dict="$root/tests/fuzz/wav.dict" \
  -artifact_prefix="$dir/artifacts/" "$dir/corpus" "$dir/seeds" >"$log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  tail -n 60 "$log"
  echo "fuzz: FAILED (status $status); the input is in $dir/artifacts" >&2
  exit "$status"
fi
grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$log" || true
grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added|stat::peak_rss_mb)' "$log"
echo "fuzz: corpus $(find "$dir/corpus" -type f | wc -l) files in $dir/corpus"
