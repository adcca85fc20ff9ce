#!/usr/bin/env bash
# Times whole pictor-cli processes, lossless encode and full decode of each image, on one thread
# and on two, in paired runs (every round runs all four once, so a change in the machine's load
# falls on all of them alike), and prints the medians of wall-clock time and the speed-ups.
# With HALVES=1 each round also codes the image's top and bottom halves side by side, two
# processes of one thread each: work shared out perfectly, with every process cost still paid,
# which bounds what two threads can reach on the machine ("bound" columns).
# Usage: bench/thread_speedup.sh IMAGE...        (bench/corpus.sh makes a corpus)
# Environment: RUNS=5, HALVES=0.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_setup.sh
(($# > 0)) || { echo "usage: bench/thread_speedup.sh IMAGE..." >&2; exit 2; }
runs=${RUNS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cli=$(private_cli "$work")

# Wall-clock seconds of one run on $1 threads of the rest of the arguments, whose last is the
# file written. That file is removed first, untimed: a file system frees the pages of a file
# cut short and writes its new blocks out at once when closed, work of the previous run's output
# that a user writing a new file never waits for, done on one thread however many decode.
seconds() {
    rm -f "${@: -1}"
    # To the microsecond: the shell's own timer gives milliseconds, a few percent of a decode.
    local start=$EPOCHREALTIME
    OMP_NUM_THREADS=$1 "${@:2}" >/dev/null 2>&1
    awk -v a="${start/,/.}" -v b="${EPOCHREALTIME/,/.}" 'BEGIN { printf "%.5f", b - a }'
}
# Wall-clock seconds of two commands run side by side on one thread each; each command is a
# single string of words, whose last is the file written.
side_by_side() {
    local first=($1) second=($2)
    rm -f "${first[-1]}" "${second[-1]}"
    local start=$EPOCHREALTIME
    OMP_NUM_THREADS=1 "${first[@]}" >/dev/null 2>&1 &
    OMP_NUM_THREADS=1 "${second[@]}" >/dev/null 2>&1 &
    wait
    awk -v a="${start/,/.}" -v b="${EPOCHREALTIME/,/.}" 'BEGIN { printf "%.5f", b - a }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

halves=${HALVES:-0}
header=(image enc_1 enc_2 speedup dec_1 dec_2 speedup)
((halves)) && header+=(enc_halves bound dec_halves bound)
printf '%-28s %8s %8s %8s %8s %8s %8s' "${header[@]:0:7}"
((halves)) && printf ' %10s %8s %10s %8s' "${header[@]:7}"
echo
for image in "$@"; do
    ext=${image##*.}
    encode=("$cli" encode --levels 6 "$image" "$work/a.qvt")
    decode=("$cli" decode "$work/a.qvt" "$work/b.$ext")
    "${encode[@]}"
    e1=() e2=() d1=() d2=() eh=() dh=()
    if ((halves)); then
        read -r _ width _ height < <("$cli" info "$image" | grep '^Size:')
        top=$((height / 2))
        for half in top bottom; do
            region="0,0,$width,$top"
            [[ $half == bottom ]] && region="0,$top,$width,$((height - top))"
            "$cli" decode "$work/a.qvt" "$work/$half.$ext" --region "$region"
            "$cli" encode --levels 6 "$work/$half.$ext" "$work/$half.qvt"
        done
        encode_halves=("$cli encode --levels 6 $work/top.$ext $work/top_out.qvt"
            "$cli encode --levels 6 $work/bottom.$ext $work/bottom_out.qvt")
        decode_halves=("$cli decode $work/top.qvt $work/top_out.$ext"
            "$cli decode $work/bottom.qvt $work/bottom_out.$ext")
    fi
    # Every other round starts with two threads: a process here runs faster on memory another
    # has just given back, so neither count may always come second.
    for ((round = 0; round < runs; round++)); do
        if ((round % 2)); then
            e2+=("$(seconds 2 "${encode[@]}")")
            e1+=("$(seconds 1 "${encode[@]}")")
            d2+=("$(seconds 2 "${decode[@]}")")
            d1+=("$(seconds 1 "${decode[@]}")")
        else
            e1+=("$(seconds 1 "${encode[@]}")")
            e2+=("$(seconds 2 "${encode[@]}")")
            d1+=("$(seconds 1 "${decode[@]}")")
            d2+=("$(seconds 2 "${decode[@]}")")
        fi
        if ((halves)); then
            eh+=("$(side_by_side "${encode_halves[@]}")")
            dh+=("$(side_by_side "${decode_halves[@]}")")
        fi
    done
    awk -v n="$(basename "$image")" -v e1="$(median "${e1[@]}")" -v e2="$(median "${e2[@]}")" \
        -v d1="$(median "${d1[@]}")" -v d2="$(median "${d2[@]}")" \
        'BEGIN { printf "%-28s %8.4f %8.4f %8.2f %8.4f %8.4f %8.2f", n, e1, e2, e1 / e2, d1, d2, d1 / d2 }'
    if ((halves)); then
        awk -v e1="$(median "${e1[@]}")" -v eh="$(median "${eh[@]}")" \
            -v d1="$(median "${d1[@]}")" -v dh="$(median "${dh[@]}")" \
            'BEGIN { printf " %10.4f %8.2f %10.4f %8.2f", eh, e1 / eh, dh, d1 / dh }'
    fi
    echo
done
