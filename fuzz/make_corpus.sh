#!/usr/bin/env bash
# Writes seed corpora for every fuzz target from small valid files of every mode and variant:
# QVT (lossless, lossy, region tiling, chosen and forced level counts), anymaps P1 ... P6 with
# 8- and 16-bit samples, BMP/PNG/GIF/JPEG, containers and clipboard blocks (through make_seeds),
# and the inputs that fuzzing found, kept beside the unit tests.
# Usage: fuzz/make_corpus.sh DIRECTORY [BUILD_DIR]   (BUILD_DIR: build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:?usage: fuzz/make_corpus.sh DIRECTORY [BUILD_DIR]}
build=${2:-build/fuzz}
cli=$build/cli/pictor-cli
mkdir -p "$out"/{qvt,pnm,qt_image,qt_plugin}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/fuzz/make_seeds" "$out"

# A small photograph keeps every seed a few kilobytes.
width=24 height=16
"$cli" convert samples/ladybird.jpg "$work/source.ppm" --size ${width}x${height} >/dev/null
"$cli" convert "$work/source.ppm" "$work/gray.pgm" --mode Gray >/dev/null
"$cli" convert "$work/source.ppm" "$work/lab.qvt" --mode Lab >/dev/null
"$cli" convert "$work/source.ppm" "$work/cmyk.qvt" --mode CMYK >/dev/null

# convert_to MODE OUT [OPTION...]: the photograph in MODE, from whichever of its versions
# converts to that mode (bitmaps and deep gray from gray, deep Lab and CMYK from their own).
convert_to() {
    local mode=$1 target=$2
    shift 2
    for source in source.ppm gray.pgm lab.qvt cmyk.qvt; do
        "$cli" convert "$work/$source" "$target" --mode "$mode" "$@" >/dev/null 2>&1 && return
    done
    echo "cannot make a $mode image" >&2
    return 1
}

modes=(Bitmap Gray Indexed RGB CMYK Lab Gray16 RGB48 Lab48 CMYK64 ARGB Gray32 RGB12 RGB16)
for mode in "${modes[@]}"; do
    # Raw rows hold every mode but Indexed, which travels with its table in a PNG.
    if [[ $mode == Indexed ]]; then
        input=$work/indexed.png
        convert_to Indexed "$input"
        raw=()
    else
        input=$work/$mode.raw
        convert_to "$mode" "$input"
        raw=(--raw "${width}x${height}:$mode")
    fi
    for variant in "lossless:" "lossy:--quality 3" "roi:--roi" "roi_lossy:--roi --quality 9" \
        "one_level:--levels 1" "deep:--levels 5 --quality 1"; do
        name=${variant%%:*}
        read -r -a options <<<"${variant#*:}"
        "$cli" encode "$input" "$out/qvt/${mode}_$name.qvt" "${raw[@]}" "${options[@]}" >/dev/null
    done
done

# Anymaps: bitmaps, graymaps and pixmaps with 8- and 16-bit samples, binary and plain.
for pair in "Bitmap:pbm" "Gray:pgm" "Gray16:pgm" "RGB:ppm" "RGB48:ppm"; do
    mode=${pair%%:*} extension=${pair#*:}
    convert_to "$mode" "$out/pnm/$mode.$extension"
    convert_to "$mode" "$out/pnm/${mode}_plain.$extension" --plain
done

# Layouts of other writers: headers on one line with comments between tokens, bitmap digits
# without separators, tabs and CR LF; and plain files of the standard toolkit.
printf 'P1 8#c\n2\n01101001\n1001\r\n0110' >"$out/pnm/compact.pbm"
printf 'P2 3 2#c\n255\t0 7 255\r\n1 2 3\n' >"$out/pnm/compact.pgm"
printf 'P6 2 1 65535 \x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c' >"$out/pnm/compact.ppm"
cp imageio/tests/data/netpbm/*_plain.* "$out/pnm/"

for mode in Bitmap Gray Indexed RGB ARGB; do
    for extension in bmp png gif jpg; do
        convert_to "$mode" "$out/qt_image/$mode.$extension" 2>/dev/null ||
            true # not every format writes every mode
    done
done
# Qt writes no GIF: a transparent 1 × 1 one by hand.
printf 'GIF89a\1\0\1\0\200\0\0\377\377\377\0\0\0!\371\4\1\0\0\0\0,\0\0\0\0\1\0\1\0\0\2\2D\1\0;' \
    >"$out/qt_image/pixel.gif"

# Inputs that fuzzing once found join the seeds, so that every run replays them under the
# targets' memory and time limits.
for kept in "qvt:codec/tests/data" "kldext:container/tests/data" "pnm:imageio/tests/data/anymap" \
    "qt_image:imageio/tests/data/qt" "clipboard:pixmap/tests/data" "qt_plugin:qtplugin/tests/data"; do
    [[ -d ${kept#*:} ]] && cp "${kept#*:}"/* "$out/${kept%%:*}/"
done

# The plugin reads both of the program's own formats.
cp "$out"/qvt/* "$out"/kldext/* "$out/qt_plugin/"

for target in qvt kldext pnm qt_image clipboard qt_plugin; do
    echo "$target: $(find "$out/$target" -type f | wc -l) seeds"
done
