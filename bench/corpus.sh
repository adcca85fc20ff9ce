#!/usr/bin/env bash
# Assembles the benchmark corpus in a folder and prints the paths of its images, one a line, for
# bench/peers.sh: real photographs of 4.1, 4.9 and 17.9 megapixels, a 16-bit gray image, a
# screenshot and a photograph under one megapixel. Photographs come from the sample and from
# Debian's mate-backgrounds (installed when missing); the others are made from them.
# Usage: bench/corpus.sh FOLDER
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_setup.sh
(($# == 1)) || { echo "usage: bench/corpus.sh FOLDER" >&2; exit 2; }
out=$1
mkdir -p "$out"
backgrounds=/usr/share/backgrounds/mate
[[ -d $backgrounds/nature ]] || install_packages mate-backgrounds
cli=$(private_cli "$out")

made() { [[ -s $out/$1 ]] || "$cli" "${@:2}"; echo "$out/$1"; }
made ladybird.ppm convert samples/ladybird.jpg "$out/ladybird.ppm"
made wood.ppm convert "$backgrounds/nature/Wood.jpg" "$out/wood.ppm"
made elephants.ppm convert "$backgrounds/abstract/Elephants_5640x3172.jpg" "$out/elephants.ppm"
# 16 bits that carry information: the photograph reduced to a quarter of its area with 16-bit
# sums, so the low byte holds the fractions of the averages.
if [[ ! -s $out/gray16.pgm ]]; then
    "$cli" convert "$out/elephants.ppm" "$out/rgb48.qvt" --mode rgb48
    "$cli" convert "$out/rgb48.qvt" "$out/gray16.pgm" --mode gray16 --size 2420x1361
    rm "$out/rgb48.qvt"
fi
echo "$out/gray16.pgm"
made screenshot.ppm convert samples/screenshot.png "$out/screenshot.ppm"
# A crop keeps the statistics of a photograph, which a reduction would smooth.
if [[ ! -s $out/small.ppm ]]; then
    "$cli" encode samples/ladybird.jpg "$out/crop.qvt" --roi
    "$cli" decode "$out/crop.qvt" "$out/small.ppm" --region 900,500,1152,864
    rm "$out/crop.qvt"
fi
echo "$out/small.ppm"
rm -f "$out/pictor-cli"
