#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds Pictor with warnings as errors and runs every test.
# Usage: scripts/test.sh [preset]   (release by default; asan for AddressSanitizer + UBSan)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}

scripts/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset" -j "$(nproc)"
