#!/usr/bin/env bash
# Times pictor-cli's tiled container against a tiled pyramidal TIFF written by vips
# (libvips-tools) on one RGB photograph of SIZE x SIZE pixels with TILE x TILE tiles, both
# lossless: creating the file from a binary PPM (time and peak memory), reading a 1024 x 1024
# region from the middle at full detail and at level 2 (a quarter of the size), first and then
# repeated with the file in the system's cache (median of RUNS), and writing a 1000 x 1000 patch
# into the existing file. Prints a table with vips' figures as ratios to ours.
# The photograph is the sample tiled: copies of a 2557 x 1597 cut of it side by side, so that
# the copies repeat at no multiple of the tile size and no two tiles are alike. An upscale would
# be smooth and compress far better than a photograph of that size.
# Usage: bench/kle_peers.sh
# Environment: SIZE=20000, TILE=256 (TIFF tiles are multiples of 16), RUNS=3, THREADS=number of
# processors, WORK=/tmp (the big files go there and are deleted afterwards).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_setup.sh
size=${SIZE:-20000}
tile=${TILE:-256}
runs=${RUNS:-3}
threads=${THREADS:-$(nproc)}
export OMP_NUM_THREADS=$threads VIPS_CONCURRENCY=$threads

needed=()
command -v vips >/dev/null || needed+=(libvips-tools)
[[ -x /usr/bin/time ]] || needed+=(time)
install_packages "${needed[@]}"
work=$(mktemp -d "${WORK:-/tmp}/kle_peers.XXXXXX")
trap 'rm -rf "$work"' EXIT
cli=$(private_cli "$work")

# Runs a command once under /usr/bin/time; sets secs (wall clock), cpu (user + system seconds:
# steadier than wall time while other work shares the machine) and mb (peak resident).
measure() {
    if ! /usr/bin/time -v -o "$work/time.txt" nice "$@" >/dev/null 2>"$work/err.txt"; then
        cat "$work/err.txt" >&2
        exit 1
    fi
    secs=$(awk -F': ' '/Elapsed \(wall clock\)/ {
        n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]; printf "%.2f", s }' \
        "$work/time.txt")
    cpu=$(awk -F': ' '/(User|System) time \(seconds\)/ { s += $2 } END { printf "%.2f", s }' \
        "$work/time.txt")
    mb=$(awk -F': ' '/Maximum resident set size/ { printf "%.0f", $2 / 1024 }' "$work/time.txt")
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The median times and the largest peak memory of $runs runs.
measure_repeated() {
    local times=() cpus=() peak=0
    for ((i = 0; i < runs; i++)); do
        measure "$@"
        times+=("$secs")
        cpus+=("$cpu")
        ((mb > peak)) && peak=$mb
    done
    secs=$(median "${times[@]}")
    cpu=$(median "${cpus[@]}")
    mb=$peak
}

rows=()
# row STEP: appends our last and vips' last measurement as a table row.
row() {
    rows+=("$(awk -v step="$1" -v a="$ours_s" -v ac="$ours_cpu" -v am="$ours_mb" -v b="$secs" \
        -v bc="$cpu" -v bm="$mb" 'BEGIN {
        printf "| %s | %.2f | %.2f | %d | %.2f | %.2f | %d | %s | %s |", step, a, ac, am, b, bc, bm,
            (a > 0 ? sprintf("%.2f", b / a) : "-"), (ac > 0 ? sprintf("%.2f", bc / ac) : "-") }')")
}
ours() { measure "$@"; ours_s=$secs; ours_cpu=$cpu; ours_mb=$mb; }
ours_repeated() { measure_repeated "$@"; ours_s=$secs; ours_cpu=$cpu; ours_mb=$mb; }

echo "tiling a ${size} x ${size} RGB photograph" >&2
vips crop samples/ladybird.jpg "$work/piece.v" 0 0 2557 1597
vips replicate "$work/piece.v" "$work/copies.v" $((size / 2557 + 1)) $((size / 1597 + 1))
vips crop "$work/copies.v" "$work/source.ppm" 0 0 "$size" "$size"
rm "$work/piece.v" "$work/copies.v"
vips crop samples/ladybird.jpg "$work/patch.ppm" 700 300 1000 1000
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
echo "${size} x ${size} RGB photograph, ${tile} x ${tile} tiles, lossless (container: automatic" \
    "tile codec; TIFF: deflate); files $((kle_bytes / 1048576)) MiB (container) and" \
    "$((tif_bytes / 1048576)) MiB (TIFF); $threads threads on $(nproc) processors"
echo
echo "| step | pictor-cli s | CPU s | MiB | vips s | CPU s | MiB | vips / pictor-cli time | CPU |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
printf '%s\n' "${rows[@]}"
