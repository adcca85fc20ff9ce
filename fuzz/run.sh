#!/usr/bin/env bash
# Runs fuzz targets for a given time each, one after the other, on their corpora with their
# dictionaries. Exits non-zero when any target found a crash, hang, leak or excessive
# allocation, after printing the reproducing input (path, and base64 of a small one).
# Usage: fuzz/run.sh TARGET|all SECONDS
#   FUZZ_CORPUS  corpus root, one folder per target (default build/fuzz/corpus; seeded by
#                make_corpus.sh when a target's folder is empty)
#   FUZZ_BUILD   the fuzz preset's build folder (default build/fuzz)
#   FUZZ_KEEP_GOING=1  for long runs: keep fuzzing after a finding (libFuzzer's fork mode),
#                report every finding at the end
#   FUZZ_SEED    libFuzzer's random seed (default: a new one each run). A gate sets one, so that
#                the same tree always makes the same search and a pass or a finding is repeatable.
#
# Limits: one input may not take more than 10 s (-timeout), one allocation may not reach 1 GiB
# (-malloc_limit_mb) and the process may not pass 2 GiB (-rss_limit_mb). The seeds are a few
# kilobytes and the largest image a small input can honestly describe needs far less, so a
# gigabyte request from a fuzzed input is a size that was trusted before it was checked; 2 GiB
# leaves room for the sanitizers' own memory on a small shared machine.
set -euo pipefail
cd "$(dirname "$0")/.."
targets=(qvt kldext pnm qt_image clipboard qt_plugin)
which=${1:?usage: fuzz/run.sh TARGET|all SECONDS}
seconds=${2:?usage: fuzz/run.sh TARGET|all SECONDS}
build=${FUZZ_BUILD:-build/fuzz}
corpus=${FUZZ_CORPUS:-$build/corpus}
[[ $which == all ]] || targets=("$which")

export QT_QPA_PLATFORM=offscreen OMP_NUM_THREADS=1
# The sanitizer runtime's __tls_get_addr interception now and then misreads a dynamic TLS block
# and crashes the leak checker; leaks are found without it.
export ASAN_OPTIONS=intercept_tls_get_addr=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}

failed=0
passed=0
for target in "${targets[@]}"; do
    binary=$build/fuzz/fuzz_$target
    [[ -x $binary ]] || { echo "$binary is missing: cmake --build --preset fuzz" >&2; exit 2; }
    if [[ -z $(ls -A "$corpus/$target" 2>/dev/null) ]]; then
        fuzz/make_corpus.sh "$corpus" "$build" >/dev/null
    fi
    artifacts=$build/artifacts/$target
    rm -rf "$artifacts" && mkdir -p "$artifacts" # findings of an earlier run are stale
    log=$build/fuzz-$target.log
    echo "== fuzz_$target for $seconds s (log: $log)"
    status=0
    keep_going=()
    [[ ${FUZZ_KEEP_GOING:-0} == 1 ]] &&
        keep_going=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
    seed=()
    [[ -n ${FUZZ_SEED:-} ]] && seed=(-seed="$FUZZ_SEED")
    "$binary" "$corpus/$target" "${keep_going[@]}" "${seed[@]}" -dict="fuzz/$target.dict" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" >"$log" 2>&1 || status=$?
    grep -E '^#[0-9]+.*cov:' "$log" | tail -n 1 || true
    grep -E 'stat::number_of_executed_units' "$log" || true
    echo "corpus: $(find "$corpus/$target" -type f | wc -l) inputs"
    # Slow units are reported beside the findings but are not findings themselves.
    findings=$(find "$artifacts" -type f ! -name 'slow-unit-*')
    if ((status == 0)) && [[ -z $findings ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "!! fuzz_$target failed (exit $status):"
        grep -E -m 1 -A 30 'ERROR: |Invariant failed|runtime error|deadly signal' "$log" || tail -n 40 "$log"
        for input in $findings; do
            echo "reproduce: $binary $input"
            if (($(stat -c %s "$input") <= 4096)); then
                echo "base64 of $input:"
                base64 "$input"
            else
                xxd "$input" | head -n 32
            fi
        done
    fi
done
echo "fuzz: $passed passed, $failed failed"
((failed == 0))
