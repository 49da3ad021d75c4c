#!/usr/bin/env bash
# fuzz.sh SECONDS [TARGET...]: runs each named fuzz target (all by default) for SECONDS from its
# seed corpus. Targets: swf_parser html_document strings_file interface_file user_defaults
# dissecta. With FUZZ_BUILD naming a build that has them (scripts/test's sanitizer build, made
# with clang and SWFHARVEX_FUZZ), that build's targets run; otherwise they are built here with
# clang (libFuzzer, address + undefined, leak detection on) in build/fuzz.
# The corpora they grow are kept between runs in build/fuzz/corpus/TARGET.
set -euo pipefail
source "$(dirname "$0")/common.sh"

seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(swf_parser html_document strings_file interface_file user_defaults
    dissecta)

# The targets' own log lines (a set-aside settings file, a refused interface file) are dropped
# with -close_fd_mask; the fuzzer's and the sanitizers' reports still reach the log.
# Each target's seed folder and its longest input: the HTML engine is quadratic in nesting depth,
# so its inputs stay short enough that a deep page is slow, never a timeout.
declare -A seeds=([swf_parser]=swf [html_document]=html [strings_file]=strings
    [interface_file]=nib [user_defaults]=defaults [dissecta]=swf)
declare -A max_len=([swf_parser]=65536 [html_document]=16384 [strings_file]=16384
    [interface_file]=65536 [user_defaults]=65536 [dissecta]=65536)
for target in "${targets[@]}"; do
    [ -n "${seeds[$target]:-}" ] || { say "fuzz.sh: no fuzz target '$target'"; exit 2; }
done

dir="${FUZZ_BUILD:-$ROOT/build/fuzz}"
kept="$ROOT/build/fuzz"
if [ -z "${FUZZ_BUILD:-}" ]; then
    # Only the fuzzers asked for and the seed writers: the rest of the product is not fuzzed here.
    BUILD_TARGETS="${targets[*]/%/_fuzz} swf_seed_corpus text_seed_corpus" \
        CC=clang CXX=clang++ configure_and_check "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DSWFHARVEX_FUZZ=ON -DSWFHARVEX_TESTS=OFF -DSWFHARVEX_BENCH=OFF
fi

mkdir -p "$kept/seeds/swf" "$kept/artifacts"
"$dir/tests/fuzz/swf_seed_corpus" "$kept/seeds/swf"
"$dir/tests/fuzz/text_seed_corpus" "$kept/seeds"

for target in "${targets[@]}"; do
    say "fuzzing $target for ${seconds}s"
    corpus="$kept/corpus/$target"
    log="$kept/fuzz-$target.log"
    mkdir -p "$corpus"
    if ! "$dir/tests/fuzz/${target}_fuzz" "$corpus" "$kept/seeds/${seeds[$target]}" \
            -max_total_time="$seconds" -rss_limit_mb=1024 -max_len="${max_len[$target]}" \
            -timeout=30 -detect_leaks=1 -close_fd_mask=2 \
            -artifact_prefix="$kept/artifacts/$target-" \
            -print_final_stats=1 >"$log" 2>&1; then
        tail -n 60 "$log" >&2
        say "the fuzzer found a fault in $target (log: $log; input in $kept/artifacts/)"
        exit 1
    fi
    say "$target: $(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') runs, no fault"
done
