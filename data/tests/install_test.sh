#!/usr/bin/env bash
# Installs the build into a temporary prefix and looks at it as a desktop does: the entry and the
# metadata validate; with the prefix's data first in line, files without an extension are named
# QVT and KLDExt by their content; the thumbnailer entry, run the way a file manager runs it,
# writes thumbnails of both; and a Qt program that knows nothing of Pictor reads QVT through the
# installed plugin.
# Usage: install_test.sh BUILD_DIR IMAGE_PROBE
set -euo pipefail
build=${1:?usage: install_test.sh BUILD_DIR IMAGE_PROBE}
probe=${2:?usage: install_test.sh BUILD_DIR IMAGE_PROBE}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() {
    echo "install test: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null
share=$prefix/share
desktop-file-validate "$share/applications/org.tarvik.Pictor.desktop"
appstreamcli validate --no-net "$share/metainfo/org.tarvik.Pictor.metainfo.xml" >/dev/null ||
    appstreamcli validate --no-net "$share/metainfo/org.tarvik.Pictor.metainfo.xml"
[[ -f $share/icons/hicolor/scalable/apps/org.tarvik.Pictor.svg ]] || fail "no scalable icon"
[[ -f $share/icons/hicolor/48x48/apps/org.tarvik.Pictor.png ]] || fail "no 48-pixel icon"
# The prefix's data come first, as a user's own data do.
export XDG_DATA_HOME=$share XDG_DATA_DIRS=/usr/share XDG_CURRENT_DESKTOP=X-Generic
warnings=$(update-mime-database "$share/mime" 2>&1)
[[ -z $warnings ]] || fail "update-mime-database: $warnings"

work=$prefix/work
mkdir "$work"
cli=$prefix/bin/pictor-cli
# A 300 x 200 picture of noise, as a binary PPM.
{
    printf 'P6\n300 200\n255\n'
    head -c $((300 * 200 * 3)) /dev/urandom
} >"$work/picture.ppm"
"$cli" encode "$work/picture.ppm" "$work/photo.qvt" >/dev/null 2>&1
"$cli" kle create "$work/tiles.kle" --size 300x200 --mode RGB --tile 64x64 \
    --from "$work/picture.ppm" >/dev/null 2>&1
cp "$work/photo.qvt" "$work/photo"
cp "$work/tiles.kle" "$work/tiles"

for pair in photo:image/x-qvt tiles:image/x-kldext photo.qvt:image/x-qvt; do
    type=$(xdg-mime query filetype "$work/${pair%%:*}")
    [[ $type == "${pair#*:}" ]] || fail "xdg-mime names ${pair%%:*} $type, not ${pair#*:}"
done

# The thumbnailer as a file manager runs it: %s size, %i input path, %o output PNG.
command=$(sed -n 's/^Exec=//p' "$share/thumbnailers/pictor.thumbnailer")
for input in photo tiles; do
    line=${command//%s/128}
    line=${line//%i/$work/$input}
    line=${line//%o/$work/$input.png}
    PATH=$prefix/bin:$PATH eval "$line"
    got=$("$probe" "$work/$input.png")
    [[ $got == "128x85 png "* ]] || fail "thumbnail of $input: $got"
done

plugins=$(dirname "$(find "$prefix" -name 'libpictorimageformats.so' -print -quit)")
[[ $plugins == */imageformats ]] || fail "the plugin is not installed in an imageformats folder"
got=$(QT_PLUGIN_PATH=$(dirname "$plugins") "$probe" --scaled 150x100 "$work/photo")
[[ $got == "150x100 qvt "* ]] || fail "the installed plugin read: $got"
got=$(QT_PLUGIN_PATH=$(dirname "$plugins") "$probe" "$work/tiles")
[[ $got == "300x200 kle "* ]] || fail "the installed plugin read: $got"
echo "install test passed"
