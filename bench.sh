#!/usr/bin/env bash
# Builds and runs a benchmark executable in the default preset, then prints the ratios
# against the anchors measured in the same run.
#   ./bench.sh dsp [extra Google Benchmark flags]
set -euo pipefail
cd "$(dirname "$0")"

suite="${1:-dsp}"
shift || true

./scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target "${suite}_bench"

out="build/default/bench/${suite}_bench.json"
"build/default/bench/${suite}_bench" --benchmark_out="$out" --benchmark_out_format=json \
    --benchmark_repetitions="${BENCH_REPETITIONS:-5}" --benchmark_report_aggregates_only=true "$@"
python3 scripts/bench_ratios.py "$out"
