#!/usr/bin/env bash
# Fuzzes the package reader and the whole package application with libFuzzer
# (clang, AddressSanitizer, UndefinedBehaviorSanitizer), both at once, each for
# SECONDS (default 60), starting from the seed corpus in tests/fuzz/corpus.
# New inputs stay under build/fuzz/; a finding is copied into the seed corpus
# as a regression case (scripts/test.sh replays it) and fails this script.
# With --keep, the inputs that reach new code are merged into the seed corpus
# too (as grown-<sha1>), so that the tests replay them from then on.
# Usage: scripts/fuzz.sh [--keep] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/setup.sh
ensure_build_tools
ensure_packages clang libclang-rt-14-dev
build_preset fuzz >/dev/null

keep=no
if [ "${1:-}" = --keep ]; then
    keep=yes
    shift
fi
seconds=${1:-60}
pids=()
for target in reader apply; do
    work=$PWD/build/fuzz/work-$target  # absolute: the apply target works in its own scratch folder
    mkdir -p "$work/corpus" "$work/findings"
    echo "fuzz_$target: ${seconds} s, log in $work/log"
    ./build/fuzz/tests/fuzz/fuzz_$target -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$work/findings/" "$work/corpus" "$PWD/tests/fuzz/corpus" >"$work/log" 2>&1 &
    pids+=($!)
done

failed=0
for i in 0 1; do
    target=$([ $i -eq 0 ] && echo reader || echo apply)
    work=build/fuzz/work-$target
    if wait "${pids[$i]}"; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
        echo "fuzz_$target: no finding in ${runs:-?} runs; corpus $(ls "$work/corpus" | wc -l) inputs"
    else
        failed=1
        echo "fuzz_$target: FINDING (tail of $work/log):"
        tail -25 "$work/log"
        for finding in "$work"/findings/*; do
            [ -f "$finding" ] || continue
            cp "$finding" "tests/fuzz/corpus/$(basename "$finding")-$target"
            echo "kept as regression case: tests/fuzz/corpus/$(basename "$finding")-$target"
        done
    fi
done
if [ "$keep" = yes ] && [ $failed -eq 0 ]; then
    for target in reader apply; do
        merged=$PWD/build/fuzz/merged-$target
        rm -rf "$merged" && mkdir -p "$merged"
        ./build/fuzz/tests/fuzz/fuzz_$target -merge=1 "$merged" "$PWD/tests/fuzz/corpus" \
            "$PWD/build/fuzz/work-$target/corpus" >/dev/null 2>&1
        for input in "$merged"/*; do
            sum=$(basename "$input")
            sha1sum tests/fuzz/corpus/* | grep -q "^$sum " || cp "$input" "tests/fuzz/corpus/grown-$sum"
        done
    done
    echo "seed corpus: $(ls tests/fuzz/corpus | wc -l) inputs"
fi
exit $failed
