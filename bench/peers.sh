#!/usr/bin/env bash
# Runs pictor-cli and peer codecs side by side on the given images and prints a table: encode and
# decode time (median of several runs), megapixels per second, bits per pixel, PSNR, and our
# times as ratios to each peer's. Peers: JPEG 2000 reversible 5/3 and irreversible 9/7
# (libopenjp2-tools), PNG (netpbm), lossless JPEG XL (libjxl-tools); missing ones are installed.
# Usage: bench/peers.sh IMAGE...
# Environment: RUNS=5, THREADS=number of processors, CLOCK=wall (or cpu: user + system seconds,
# steadier than wall time on a machine that other work keeps busy).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_setup.sh
(($# > 0)) || { echo "usage: bench/peers.sh IMAGE..." >&2; exit 2; }
runs=${RUNS:-5}
threads=${THREADS:-$(nproc)}
clock=${CLOCK:-wall}
# The codec runs many short parallel loops; threads that spin between them take the processor
# from the one that works whenever the machine is busy, so idle threads sleep instead.
export OMP_WAIT_POLICY=${OMP_WAIT_POLICY:-passive}

needed=()
command -v opj_compress >/dev/null || needed+=(libopenjp2-tools)
command -v cjxl >/dev/null || needed+=(libjxl-tools)
command -v pnmtopng >/dev/null || needed+=(netpbm)
install_packages "${needed[@]}"
export OMP_NUM_THREADS=$threads
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cli=$(private_cli "$work")

# Median time in seconds (wall or CPU, as CLOCK says) of running "$@" $runs times.
median_time() {
    local times=() TIMEFORMAT='%R %U %S' measured
    for ((i = 0; i < runs; i++)); do
        measured=$({ time "$@" >/dev/null 2>&1; } 2>&1)
        if [[ $clock == cpu ]]; then
            times+=("$(awk '{ printf "%.3f", $2 + $3 }' <<<"$measured")")
        else
            times+=("$(awk '{ printf "%.3f", $1 }' <<<"$measured")")
        fi
    done
    printf '%s\n' "${times[@]}" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# Megapixels per second for a time, "-" for a step that took no measurable time.
rate() { awk -v p="$pixels" -v t="$1" 'BEGIN { if (t + 0 > 0) printf "%.1f", p / 1e6 / t; else print "-" }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a > 0) printf "%.3f", b / a; else print "-" }'; }

# One line per coder: name, encode command ("-" for none), decode command, coded file, decoded
# file.
declare -A enc_time dec_time
row() {
    local name=$1 encode=$2 decode=$3 coded=$4 decoded=$5
    local te td bytes bpp psnr
    te=-
    # The shell that applies a command's redirections replaces itself with the command, so a
    # short decode is not timed with a second process around it.
    [[ $encode == - ]] || te=$(median_time bash -c "exec $encode")
    td=$(median_time bash -c "exec $decode")
    bytes=$(stat -c %s "$coded")
    bpp=$(awk -v b="$bytes" -v p="$pixels" 'BEGIN { printf "%.3f", 8 * b / p }')
    psnr=$("$cli" psnr "$work/source.ppm" "$decoded" | head -n 1 |
        sed -e 's/There is no difference. Lossless quality!/lossless/' -e 's/The PSNR is //')
    enc_time[$name]=$te
    dec_time[$name]=$td
    printf '%-18s %9s %9s %9s %9s %8s  %s\n' "$name" "$te" \
        "$(rate "$te")" "$td" \
        "$(rate "$td")" "$bpp" "$psnr"
}


for image in "$@"; do
    "$cli" convert "$image" "$work/source.ppm"
    read -r width height < <("$cli" info "$work/source.ppm" | awk '/^Size:/ { print $2, $4 }')
    pixels=$((width * height))
    echo "== $image: $width x $height, $threads threads, $clock time, median of $runs runs"
    printf '%-18s %9s %9s %9s %9s %8s  %s\n' coder enc_s enc_MP/s dec_s dec_MP/s bpp PSNR
    w=$work
    row "QVT lossless" "'$cli' encode $w/source.ppm $w/l.qvt --levels 6" \
        "'$cli' decode $w/l.qvt $w/l.ppm" "$w/l.qvt" "$w/l.ppm"
    row "QVT lossless roi" "'$cli' encode $w/source.ppm $w/r.qvt --levels 6 --roi" \
        "'$cli' decode $w/r.qvt $w/r.ppm" "$w/r.qvt" "$w/r.ppm"
    row "QVT thumbnail" "-" "'$cli' decode $w/l.qvt $w/t.ppm --thumbnail" "$w/l.qvt" "$w/l.ppm"
    row "QVT region 1024" "-" "'$cli' decode $w/r.qvt $w/g.ppm --region 256,256,1024,1024" \
        "$w/r.qvt" "$w/r.ppm"
    row "QVT quality 2" "'$cli' encode $w/source.ppm $w/q.qvt --levels 6 --quality 2" \
        "'$cli' decode $w/q.qvt $w/q.ppm" "$w/q.qvt" "$w/q.ppm"
    row "J2K 5/3" "opj_compress -threads $threads -n 6 -i $w/source.ppm -o $w/j.j2k" \
        "opj_decompress -threads $threads -i $w/j.j2k -o $w/j.ppm" "$w/j.j2k" "$w/j.ppm"
    row "J2K 9/7 r20" "opj_compress -threads $threads -n 6 -I -r 20 -i $w/source.ppm -o $w/i.j2k" \
        "opj_decompress -threads $threads -i $w/i.j2k -o $w/i.ppm" "$w/i.j2k" "$w/i.ppm"
    row "PNG" "pnmtopng $w/source.ppm > $w/p.png" "pngtopnm $w/p.png > $w/p.ppm" "$w/p.png" "$w/p.ppm"
    row "JXL lossless" "cjxl --num_threads=$threads -d 0 $w/source.ppm $w/x.jxl" \
        "djxl --num_threads=$threads $w/x.jxl $w/x.ppm" "$w/x.jxl" "$w/x.ppm"
    echo "ours / peer time (below 1 = we are faster): lossless encode, lossless decode"
    for peer in "J2K 5/3" "PNG" "JXL lossless"; do
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
