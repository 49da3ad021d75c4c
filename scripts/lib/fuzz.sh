#!/usr/bin/env bash
# fuzz.sh SECONDS: builds the parser's fuzz target with clang (libFuzzer, address + undefined)
# and runs it for SECONDS from the seed corpus. The corpus it grows is kept between runs.
set -euo pipefail
source "$(dirname "$0")/common.sh"

seconds="${1:-60}"
dir="$ROOT/build/fuzz"
CC=clang CXX=clang++ configure_and_build "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSWFHARVEX_FUZZ=ON -DSWFHARVEX_TESTS=OFF -DSWFHARVEX_BENCH=OFF

mkdir -p "$dir/corpus" "$dir/seeds" "$dir/artifacts"
"$dir/tests/fuzz/swf_seed_corpus" "$dir/seeds"

say "fuzzing the SWF parser for ${seconds}s"
log="$dir/fuzz-run.log"
if ! "$dir/tests/fuzz/swf_parser_fuzz" "$dir/corpus" "$dir/seeds" \
        -max_total_time="$seconds" -rss_limit_mb=1024 -max_len=65536 \
        -artifact_prefix="$dir/artifacts/" -print_final_stats=1 >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    say "the fuzzer found a fault (log: $log; crashing input in $dir/artifacts/)"
    exit 1
fi
say "fuzzing: $(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') runs, no fault"
