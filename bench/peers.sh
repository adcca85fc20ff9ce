#!/usr/bin/env bash
# Runs pictor-cli and peer codecs side by side on the given images and prints a table: encode and
# decode time (median of several runs), megapixels per second, bits per pixel, PSNR, and our
# times as ratios to each peer's. Peers: High-Throughput JPEG 2000 reversible (openjph-tools),
# JPEG 2000 reversible 5/3 and irreversible 9/7 (libopenjp2-tools), PNG (netpbm), lossless
# JPEG XL (libjxl-tools); missing ones are installed. The runs are paired: every round runs each
# command once, so a change in the machine's load falls on all of them alike.
# Usage: bench/peers.sh IMAGE...        (bench/corpus.sh makes a corpus)
# Environment: RUNS=5, THREADS=number of processors, CLOCK=wall (or cpu: user + system seconds,
# steadier than wall time on a machine that other work keeps busy; counted by perf where it is
# installed, which counts short processes exactly), PEERS="htj2k j2k png jxl" (any of them).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_setup.sh
(($# > 0)) || { echo "usage: bench/peers.sh IMAGE..." >&2; exit 2; }
runs=${RUNS:-5}
threads=${THREADS:-$(nproc)}
clock=${CLOCK:-wall}
peers=" ${PEERS:-htj2k j2k png jxl} "

needed=()
[[ $peers != *" htj2k "* ]] || command -v ojph_compress >/dev/null || needed+=(openjph-tools)
[[ $peers != *" j2k "* ]] || command -v opj_compress >/dev/null || needed+=(libopenjp2-tools)
[[ $peers != *" jxl "* ]] || command -v cjxl >/dev/null || needed+=(libjxl-tools)
[[ $peers != *" png "* ]] || command -v pnmtopng >/dev/null || needed+=(netpbm)
install_packages "${needed[@]}"
export OMP_NUM_THREADS=$threads
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cli=$(private_cli "$work")
use_perf=false
[[ $clock == cpu ]] && perf stat -e task-clock true >/dev/null 2>&1 && use_perf=true

# Seconds (wall or CPU, as CLOCK says) of one run of a shell command. The shell that applies
# its redirections replaces itself with the command, so a short decode is not timed with a
# second process around it.
time_once() {
    if $use_perf; then
        perf stat -x, -e task-clock bash -c "exec $1" 2>&1 >/dev/null |
            awk -F, '/task-clock/ { printf "%.4f", $1 / 1000 }'
        return
    fi
    local TIMEFORMAT='%R %U %S' measured
    measured=$({ time bash -c "exec $1" >/dev/null 2>&1; } 2>&1)
    if [[ $clock == cpu ]]; then
        awk '{ printf "%.3f", $2 + $3 }' <<<"$measured"
    else
        awk '{ printf "%.3f", $1 }' <<<"$measured"
    fi
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Megapixels per second for a time, "-" for a step that took no measurable time.
rate() { awk -v p="$pixels" -v t="$1" 'BEGIN { if (t + 0 > 0) printf "%.1f", p / 1e6 / t; else print "-" }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a > 0) printf "%.3f", b / a; else print "-" }'; }

# The coders, one entry each: name, encode command ("-" for none), decode command, coded file,
# decoded file.
names=()
declare -A encode_of decode_of coded_of decoded_of enc_time dec_time
coder() {
    names+=("$1")
    encode_of[$1]=$2
    decode_of[$1]=$3
    coded_of[$1]=$4
    decoded_of[$1]=$5
}

measure_all() {
    declare -A enc_runs dec_runs
    local name
    for name in "${names[@]}"; do
        # A first run makes the files the decoders and later rounds need.
        [[ ${encode_of[$name]} == - ]] || bash -c "exec ${encode_of[$name]}" >/dev/null 2>&1
        enc_runs[$name]=""
        dec_runs[$name]=""
    done
    local order
    for ((round = 0; round < runs; round++)); do
        # Every other round runs the coders in reverse order. A process here runs faster on memory
        # that another has just given back than on memory the host has to supply afresh, so a
        # fixed order would favour whoever follows the coder with the largest footprint.
        order=()
        for name in "${names[@]}"; do
            if ((round % 2)); then order=("$name" "${order[@]}"); else order+=("$name"); fi
        done
        for name in "${order[@]}"; do
            [[ ${encode_of[$name]} == - ]] ||
                enc_runs[$name]+=" $(time_once "${encode_of[$name]}")"
            dec_runs[$name]+=" $(time_once "${decode_of[$name]}")"
        done
    done
    for name in "${names[@]}"; do
        enc_time[$name]=-
        # shellcheck disable=SC2086 # the runs are separate words
        [[ ${encode_of[$name]} == - ]] || enc_time[$name]=$(median ${enc_runs[$name]})
        # shellcheck disable=SC2086
        dec_time[$name]=$(median ${dec_runs[$name]})
    done
}

print_row() {
    local name=$1 te=${enc_time[$1]} td=${dec_time[$1]} bytes bpp psnr
    bytes=$(stat -c %s "${coded_of[$name]}")
    bpp=$(awk -v b="$bytes" -v p="$pixels" 'BEGIN { printf "%.3f", 8 * b / p }')
    psnr=$("$cli" psnr "$source" "${decoded_of[$name]}" | head -n 1 |
        sed -e 's/There is no difference. Lossless quality!/lossless/' -e 's/The PSNR is //')
    printf '%-18s %9s %9s %9s %9s %8s  %s\n' "$name" "$te" "$(rate "$te")" "$td" "$(rate "$td")" \
        "$bpp" "$psnr"
}

for image in "$@"; do
    read -r width height mode < <("$cli" info "$image" | awk '/^Size:/ { w = $2; h = $4 }
        /^Mode:/ { m = $2 } END { print w, h, m }')
    pixels=$((width * height))
    # Gray images stay gray: every peer reads both kinds of anymap.
    ext=ppm
    [[ $mode == Gray* ]] && ext=pgm
    source=$work/source.$ext
    "$cli" convert "$image" "$source"
    w=$work
    names=()
    coder "QVT lossless" "'$cli' encode $source $w/l.qvt --levels 6" \
        "'$cli' decode $w/l.qvt $w/l.$ext" "$w/l.qvt" "$w/l.$ext"
    coder "QVT lossless roi" "'$cli' encode $source $w/r.qvt --levels 6 --roi" \
        "'$cli' decode $w/r.qvt $w/r.$ext" "$w/r.qvt" "$w/r.$ext"
    coder "QVT thumbnail" "-" "'$cli' decode $w/l.qvt $w/t.$ext --thumbnail" "$w/l.qvt" "$w/l.$ext"
    coder "QVT region 1024" "-" "'$cli' decode $w/r.qvt $w/g.$ext --region 256,256,1024,1024" \
        "$w/r.qvt" "$w/r.$ext"
    coder "QVT quality 2" "'$cli' encode $source $w/q.qvt --levels 6 --quality 2" \
        "'$cli' decode $w/q.qvt $w/q.$ext" "$w/q.qvt" "$w/q.$ext"
    compared=()
    if [[ $peers == *" htj2k "* ]]; then
        coder "HTJ2K lossless" "ojph_compress -i $source -o $w/h.j2c -reversible true" \
            "ojph_expand -i $w/h.j2c -o $w/h.$ext" "$w/h.j2c" "$w/h.$ext"
        compared+=("HTJ2K lossless")
    fi
    if [[ $peers == *" j2k "* ]]; then
        coder "J2K 5/3" "opj_compress -threads $threads -n 6 -i $source -o $w/j.j2k" \
            "opj_decompress -threads $threads -i $w/j.j2k -o $w/j.$ext" "$w/j.j2k" "$w/j.$ext"
        coder "J2K 9/7 r20" "opj_compress -threads $threads -n 6 -I -r 20 -i $source -o $w/i.j2k" \
            "opj_decompress -threads $threads -i $w/i.j2k -o $w/i.$ext" "$w/i.j2k" "$w/i.$ext"
        compared+=("J2K 5/3")
    fi
    if [[ $peers == *" png "* ]]; then
        coder "PNG" "pnmtopng $source > $w/p.png" "pngtopnm $w/p.png > $w/p.$ext" "$w/p.png" \
            "$w/p.$ext"
        compared+=("PNG")
    fi
    if [[ $peers == *" jxl "* ]]; then
        coder "JXL lossless" "cjxl --num_threads=$threads -d 0 $source $w/x.jxl" \
            "djxl --num_threads=$threads $w/x.jxl $w/x.$ext" "$w/x.jxl" "$w/x.$ext"
        compared+=("JXL lossless")
    fi
    measure_all
    echo "== $image: $width x $height $mode, $threads threads, $clock time, median of $runs paired runs"
    printf '%-18s %9s %9s %9s %9s %8s  %s\n' coder enc_s enc_MP/s dec_s dec_MP/s bpp PSNR
    for name in "${names[@]}"; do
        print_row "$name"
    done
    echo "ours / peer time (below 1 = we are faster): lossless encode, lossless decode"
    for peer in "${compared[@]}"; do
        printf '  %-14s %6s %6s\n' "$peer" \
            "$(ratio "${enc_time[$peer]}" "${enc_time[QVT lossless]}")" \
            "$(ratio "${dec_time[$peer]}" "${dec_time[QVT lossless]}")"
    done
    printf '  %-14s %6s\n' "thumbnail / full decode" \
        "$(ratio "${dec_time[QVT lossless]}" "${dec_time[QVT thumbnail]}")"
    printf '  %-14s %6s\n' "region / full decode (roi)" \
        "$(ratio "${dec_time[QVT lossless roi]}" "${dec_time[QVT region 1024]}")"
    echo
done
