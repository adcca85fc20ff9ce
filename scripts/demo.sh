#!/usr/bin/env bash
# Installs what Pictor needs, builds it and shows the codec at work on the sample photograph:
# lossless and lossy encodes with sizes, bits per pixel, PSNR and times, then a progressive
# decode level by level, a thumbnail and a region.
# Usage: scripts/demo.sh [image]   (samples/ladybird.jpg by default)
set -euo pipefail
cd "$(dirname "$0")/.."
image=${1:-samples/ladybird.jpg}

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target pictor-cli
cli=build/release/cli/pictor-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

# Hold the photograph as a binary anymap so the timings below measure the codec, not JPEG.
"$cli" convert "$image" "$work/source.ppm"
read -r width height < <("$cli" info "$work/source.ppm" | awk '/^Size:/ { print $2, $4 }')
pixels=$((width * height))
echo "Image: $image, $width x $height ($(awk -v p=$pixels 'BEGIN { printf "%.1f", p / 1e6 }') megapixels)"
echo

printf '%-8s %12s %8s %10s %10s  %s\n' quality bytes bpp encode_s decode_s PSNR
for quality in 0 1 2 3 5 8; do
    t0=$(now)
    "$cli" encode "$work/source.ppm" "$work/q$quality.qvt" --quality "$quality" --levels 6 --roi
    t1=$(now)
    "$cli" decode "$work/q$quality.qvt" "$work/q$quality.ppm"
    t2=$(now)
    bytes=$(stat -c %s "$work/q$quality.qvt")
    psnr=$("$cli" psnr "$work/source.ppm" "$work/q$quality.ppm" | head -n 1)
    printf '%-8s %12s %8s %10s %10s  %s\n' "$quality" "$bytes" \
        "$(awk -v b="$bytes" -v p=$pixels 'BEGIN { printf "%.3f", 8 * b / p }')" \
        "$(seconds "$t0" "$t1")" "$(seconds "$t1" "$t2")" "$psnr"
done
echo

echo "Progressive decode of the quality-1 file, coarsest level first:"
levels=$("$cli" info "$work/q1.qvt" | awk '/^Levels:/ { print $2 }')
for ((level = levels - 1; level >= 0; level--)); do
    t0=$(now)
    "$cli" decode "$work/q1.qvt" "$work/level$level.ppm" --level "$level"
    t1=$(now)
    size=$("$cli" info "$work/level$level.ppm" | awk '/^Size:/ { print $2 "x" $4 }')
    echo "  level $level: $size in $(seconds "$t0" "$t1") s"
done
t0=$(now)
"$cli" decode "$work/q1.qvt" "$work/thumb.ppm" --thumbnail
t1=$(now)
"$cli" decode "$work/q1.qvt" "$work/region.ppm" --region 512,256,1024,1024
t2=$(now)
echo "  thumbnail: $(seconds "$t0" "$t1") s; 1024 x 1024 region: $(seconds "$t1" "$t2") s"
