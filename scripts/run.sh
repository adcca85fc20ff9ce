#!/usr/bin/env bash
# Builds pictor and starts it on the sample photograph (or the files given). Without a display it
# runs on a private X server, takes a screenshot of the screen once the window is up, prints the
# screenshot's path and ends the program.
# Usage: scripts/run.sh [image ...]   (samples/ladybird.jpg by default)
set -euo pipefail
cd "$(dirname "$0")/.."
if (($# == 0)); then set -- samples/ladybird.jpg; fi

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target pictor
program=build/release/app/pictor

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    exec "$program" "$@"
fi

shot=${SHOT:-$PWD/build/pictor-screenshot.png}
export PICTOR_PROGRAM=$program PICTOR_SHOT=$shot
xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
    "$PICTOR_PROGRAM" "$@" &
    pid=$!
    # The window is up once the X server knows it; the image needs a moment more to be painted.
    for _ in $(seq 100); do
        xdotool search --name Pictor >/dev/null 2>&1 && break
        sleep 0.1
    done
    sleep 1.5
    import -window root "$PICTOR_SHOT"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
' _ "$@"
echo "Screenshot: $shot"
