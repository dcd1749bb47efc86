#!/usr/bin/env bash
# Runs the main job. Until the program window exists, the best headless slice is the
# numeric core: the dsp benchmark with its ratios against the reference FFT and memcpy.
set -euo pipefail
cd "$(dirname "$0")"
exec ./bench.sh dsp "$@"
