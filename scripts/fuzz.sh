#!/usr/bin/env bash
# Fuzzes for SECONDS in all (default 60), e.g. `scripts/fuzz.sh 3600` for a long run: half on
# WAVEffect's reader and effects, an eighth each on the chain parser and on chains that reshape
# the stream cut into random flow calls, a quarter on the general reader
# (the real libsndfile). Builds with Clang into
# build-fuzz, regenerates the seed corpus and grows the corpora kept in build-fuzz/corpus* from
# one run to the next. A crashing input is saved in build-fuzz/artifacts; keep it in
# tests/fuzz/regressions once fixed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
dir=$root/build-fuzz

CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DWAVFX_FUZZ=ON -DWAVFX_UNIT_TESTS=OFF -DWAVFX_BENCHMARKS=OFF >/dev/null
cmake --build "$dir" --target wavfx_fuzzer wavfx_chain_fuzzer wavfx_flow_fuzzer wavfx_general_fuzzer wavfx_fuzz_seeds \
  wavfx_general_seeds
mkdir -p "$dir/corpus" "$dir/corpus-chain" "$dir/corpus-flow" "$dir/corpus-general" "$dir/artifacts"
rm -rf "$dir/seeds" "$dir/general-seeds"
mkdir -p "$dir/general-seeds"
"$dir/tests/fuzz/wavfx_fuzz_seeds" "$dir/seeds"
"$dir/tests/fuzz/wavfx_general_seeds" "$dir/general-seeds"

# fuzz NAME SECONDS CORPUS SEEDS [libFuzzer option...]
fuzz() {
  local name=$1 time=$2 corpus=$3 seeds=$4
  shift 4
  # libFuzzer takes 0 as no limit: a short run gives each target at least a second.
  [ "$time" -ge 1 ] || time=1
  # The library's diagnostics (-close_fd_mask=2) would drown libFuzzer's own lines.
  local log=$dir/$name.log status=0
  LSAN_OPTIONS=suppressions=$root/tests/fuzz/lsan.supp:print_suppressions=0 "$dir/tests/fuzz/$name" -max_total_time="$time" -timeout=10 -rss_limit_mb=2048 \
    -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "$@" \
    "$corpus" "$seeds" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    echo "fuzz $name: FAILED (status $status); the input is in $dir/artifacts" >&2
    exit "$status"
  fi
  echo "== $name"
  grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added|stat::peak_rss_mb)' "$log"
  echo "fuzz $name: corpus $(find "$corpus" -type f | wc -l) files in $corpus"
}

quarter=$((seconds / 4))
eighth=$((seconds / 8))
fuzz wavfx_fuzzer $((seconds - 2 * quarter)) "$dir/corpus" "$dir/seeds" -max_len=16384 \
  -dict="$root/tests/fuzz/wav.dict"
fuzz wavfx_chain_fuzzer "$eighth" "$dir/corpus-chain" "$root/tests/fuzz/chain_seeds" -max_len=512
fuzz wavfx_flow_fuzzer $((quarter - eighth)) "$dir/corpus-flow" "$root/tests/fuzz/flow_seeds" \
  -max_len=512
fuzz wavfx_general_fuzzer "$quarter" "$dir/corpus-general" "$dir/general-seeds" -max_len=65536
