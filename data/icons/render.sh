#!/usr/bin/env bash
# Renders the PNG sizes of the application icon from its SVG (rsvg-convert: librsvg2-bin). Run it
# after changing the SVG and commit the PNGs; builds only install them.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
    mkdir -p "${size}x${size}"
    rsvg-convert -w "$size" -h "$size" org.tarvik.Pictor.svg -o "${size}x${size}/org.tarvik.Pictor.png"
done
