#!/usr/bin/env bash
# Runs the main job. Until the program window exists, that is a live capture: audio-probe
# captures three seconds from the system's default capture device (through the sound server the
# desktop runs) and prints each channel's peak frequency and level. Without any capture device
# it says so and exits 1. Extra arguments go to audio-probe (--list, --device NAME, --rate R,
# --channels C, --seconds S).
set -euo pipefail
cd "$(dirname "$0")"

./scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target audio-probe
exec build/default/tools/audio-probe/audio-probe --seconds 3 "$@"
