#!/usr/bin/env bash
# Sets up the machine, configures, builds and runs every test.
#   ./test.sh          default preset (RelWithDebInfo, warnings as errors)
#   ./test.sh asan     AddressSanitizer + UndefinedBehaviorSanitizer
#   ./test.sh tsan     ThreadSanitizer
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"

preset="${1:-default}"
case "$preset" in
    default | asan | tsan) ;;
    *)
        echo "usage: $0 [default|asan|tsan]" >&2
        exit 2
        ;;
esac

./scripts/setup.sh
cmake --preset "$preset"
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset" -j "$(nproc)"
