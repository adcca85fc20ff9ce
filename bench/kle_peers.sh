#!/usr/bin/env bash
# Times pictor-cli's tiled container against a tiled pyramidal TIFF written by vips
# (libvips-tools) on one synthetic RGB image of SIZE x SIZE pixels with TILE x TILE tiles, both
# lossless: creating the file from a binary PPM (time and peak memory), reading a 1024 x 1024
# region from the middle at full detail and at level 2 (a quarter of the size), first and then
# repeated with the file in the system's cache (median of RUNS), and writing a 1000 x 1000 patch
# into the existing file. Prints a table with vips' figures as ratios to ours.
# Usage: bench/kle_peers.sh
# Environment: SIZE=20000, TILE=256 (TIFF tiles are multiples of 16), RUNS=3, WORK=/tmp (the
# big files go there and are deleted afterwards).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_setup.sh
size=${SIZE:-20000}
tile=${TILE:-256}
runs=${RUNS:-3}
# The codec runs many short parallel loops; idle threads sleep instead of taking the processor
# from the one that works when the machine is busy.
export OMP_WAIT_POLICY=${OMP_WAIT_POLICY:-passive}

needed=()
command -v vips >/dev/null || needed+=(libvips-tools)
[[ -x /usr/bin/time ]] || needed+=(time)
install_packages "${needed[@]}"
work=$(mktemp -d "${WORK:-/tmp}/kle_peers.XXXXXX")
trap 'rm -rf "$work"' EXIT
cli=$(private_cli "$work")

# Runs a command once under /usr/bin/time; sets secs (wall clock) and mb (peak resident).
measure() {
    if ! /usr/bin/time -v -o "$work/time.txt" nice "$@" >/dev/null 2>"$work/err.txt"; then
        cat "$work/err.txt" >&2
        exit 1
    fi
    secs=$(awk -F': ' '/Elapsed \(wall clock\)/ {
        n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]; printf "%.2f", s }' \
        "$work/time.txt")
    mb=$(awk -F': ' '/Maximum resident set size/ { printf "%.0f", $2 / 1024 }' "$work/time.txt")
}

# The median time and the largest peak memory of $runs runs.
measure_repeated() {
    local times=() peak=0
    for ((i = 0; i < runs; i++)); do
        measure "$@"
        times+=("$secs")
        ((mb > peak)) && peak=$mb
    done
    secs=$(printf '%s\n' "${times[@]}" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
    mb=$peak
}

rows=()
# row STEP: appends our last and vips' last measurement as a table row.
row() {
    rows+=("$(awk -v step="$1" -v a="$ours_s" -v am="$ours_mb" -v b="$secs" -v bm="$mb" 'BEGIN {
        printf "| %s | %.2f | %d | %.2f | %d | %s |", step, a, am, b, bm,
            (a > 0 ? sprintf("%.2f", b / a) : "-") }')")
}
ours() { measure "$@"; ours_s=$secs; ours_mb=$mb; }
ours_repeated() { measure_repeated "$@"; ours_s=$secs; ours_mb=$mb; }

echo "generating a ${size} x ${size} RGB image" >&2
"$cli" convert samples/ladybird.jpg "$work/source.ppm" --size "${size}x${size}"
"$cli" convert samples/ladybird.jpg "$work/patch.ppm" --size 1000x1000
tiff_options="tile,tile-width=$tile,tile-height=$tile,pyramid,compression=deflate"
middle=$((size / 2 - 512))
coarse=$((middle / 4))
kle=$work/image.kle
tif=$work/image.tif

echo "creating" >&2
ours "$cli" kle create "$kle" --size "${size}x${size}" --mode RGB --tile "${tile}x${tile}" \
    --from "$work/source.ppm"
measure vips copy "$work/source.ppm" "$tif[$tiff_options]"
row "create from PPM"
kle_bytes=$(stat -c %s "$kle")
tif_bytes=$(stat -c %s "$tif")
rm "$work/source.ppm"

echo "reading" >&2
read_full=("$cli" kle read "$kle" "$work/region.ppm" --region "$middle,$middle,1024,1024")
crop_full=(vips crop "$tif" "$work/region.ppm" "$middle" "$middle" 1024 1024)
read_coarse=("$cli" kle read "$kle" "$work/region.ppm" --region "$middle,$middle,1024,1024"
    --scale 0.25)
crop_coarse=(vips crop "$tif[page=2]" "$work/region.ppm" "$coarse" "$coarse" 256 256)
ours "${read_full[@]}"
measure "${crop_full[@]}"
row "1024² region, level 0, first read"
ours_repeated "${read_full[@]}"
measure_repeated "${crop_full[@]}"
row "1024² region, level 0, repeated (median of $runs)"
ours "${read_coarse[@]}"
measure "${crop_coarse[@]}"
row "1024² region, level 2 (256²), first read"
ours_repeated "${read_coarse[@]}"
measure_repeated "${crop_coarse[@]}"
row "1024² region, level 2 (256²), repeated (median of $runs)"

echo "writing a patch" >&2
at=$((size / 2 - 500))
ours "$cli" kle write "$kle" "$work/patch.ppm" --at "$at,$at"
# A TIFF pyramid has no place to rewrite a region: vips writes the whole file anew.
measure vips insert "$tif" "$work/patch.ppm" "$work/patched.tif[$tiff_options]" "$at" "$at"
row "1000² patch written into the file"

echo
echo "${size} x ${size} RGB, ${tile} x ${tile} tiles, lossless (container: automatic tile codec;" \
    "TIFF: deflate); files $((kle_bytes / 1048576)) MiB (container) and" \
    "$((tif_bytes / 1048576)) MiB (TIFF); $(nproc) processors"
echo
echo "| step | pictor-cli s | MiB | vips s | MiB | vips / pictor-cli time |"
echo "|---|---:|---:|---:|---:|---:|"
printf '%s\n' "${rows[@]}"
