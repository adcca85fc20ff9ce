#!/usr/bin/env bash
# Installs the Debian packages that building and testing Pictor need. Idempotent: apt runs only
# when something is missing, so a warm machine is left untouched.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format
    libgtest-dev libgmock-dev libbenchmark-dev
    libpng-dev zlib1g-dev
    # Colour management of the display: ICC profiles and transforms, and the X server's
    # connection library through which the screen's profile is read.
    liblcms2-dev libxcb1-dev
    qt6-base-dev qt6-image-formats-plugins
    # The desktop program without a display: a private X server, a window finder, screenshots.
    xvfb xauth xdotool imagemagick
    # Desktop integration: validating the entry and metadata, and the file types as a desktop
    # resolves them (xdg-mime asks File::MimeInfo's mimetype outside a known desktop).
    desktop-file-utils appstream shared-mime-info xdg-utils libfile-mimeinfo-perl
    # The fuzz preset: clang with libFuzzer and the sanitizer runtimes, and its OpenMP.
    clang-14 libclang-rt-14-dev libomp-14-dev
)

missing=()
for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done

if ((${#missing[@]} > 0)); then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi
