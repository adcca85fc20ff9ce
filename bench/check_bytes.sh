#!/usr/bin/env bash
# Checks that two pictor-cli builds write byte-identical QVT files and decode them to identical
# pixels: run it with a build from before an optimisation and one from after. Covers 8-bit RGB,
# gray, ARGB, 16-bit, CMYK and Lab images at qualities 0, 2 and 8, with and without region
# support, several level counts, level and region decoding (also of a region at level 1).
# Usage: bench/check_bytes.sh REFERENCE_CLI CANDIDATE_CLI
set -euo pipefail
cd "$(dirname "$0")/.."
(($# == 2)) || { echo "usage: bench/check_bytes.sh REFERENCE_CLI CANDIDATE_CLI" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

make_inputs() {
    local cli=$1 in=$work/in
    mkdir -p "$in"
    "$cli" convert samples/ladybird.jpg "$in/sample.ppm"
    "$cli" convert samples/ladybird.jpg "$in/small.ppm" --size 333x217
    "$cli" convert samples/ladybird.jpg "$in/tiny.ppm" --size 37x23
    "$cli" convert "$in/small.ppm" "$in/gray.pgm" --mode gray
    "$cli" convert "$in/small.ppm" "$in/argb.png" --mode argb
    for mode in rgb48 cmyk lab; do
        "$cli" convert "$in/small.ppm" "$in/$mode.qvt" --mode "$mode"
    done
}

# One line per output: what was made, then a digest of the bytes.
run_matrix() {
    local cli=$1 out=$work/out
    mkdir -p "$out"
    for image in "$work"/in/*; do
        local name
        name=$(basename "$image")
        for quality in 0 2 8; do
            for options in "" "--roi" "--levels 2" "--levels 7 --roi" "--levels 1"; do
                local tag="$name q$quality ${options// /_}"
                # shellcheck disable=SC2086 # options are separate words
                if ! "$cli" encode "$image" "$out/x.qvt" --quality "$quality" $options 2>/dev/null; then
                    echo "$tag encode failed"
                    continue
                fi
                echo "$tag $(sha256sum <"$out/x.qvt")"
                "$cli" decode "$out/x.qvt" "$out/y.raw" && echo "$tag decoded $(sha256sum <"$out/y.raw")"
                "$cli" decode "$out/x.qvt" "$out/y.raw" --level 1 &&
                    echo "$tag level 1 $(sha256sum <"$out/y.raw")"
                if [[ $options == *--roi* ]]; then
                    "$cli" decode "$out/x.qvt" "$out/y.raw" --region 5,7,60,45 &&
                        echo "$tag region $(sha256sum <"$out/y.raw")"
                fi
                "$cli" decode "$out/x.qvt" "$out/y.raw" --region 5,7,60,45 --level 1 &&
                    echo "$tag region level 1 $(sha256sum <"$out/y.raw")"
            done
        done
    done 2>/dev/null
}

make_inputs "$1"
run_matrix "$1" >"$work/reference.txt"
run_matrix "$2" >"$work/candidate.txt"
if diff "$work/reference.txt" "$work/candidate.txt"; then
    echo "identical: $(wc -l <"$work/reference.txt") outputs"
else
    echo "the builds differ" >&2
    exit 1
fi
