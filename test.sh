#!/usr/bin/env bash
# Sets up the machine, configures, builds and runs every test.
#   ./test.sh          default preset (RelWithDebInfo, warnings as errors)
#   ./test.sh asan     AddressSanitizer + UndefinedBehaviorSanitizer
#   ./test.sh tsan     ThreadSanitizer
# The live capture tests (CTest label `live`) run against a private sound server that this
# script starts before the tests and stops afterwards, also when they fail.
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

server_env=$(./scripts/audio-server.sh start)
eval "$server_env"
trap './scripts/audio-server.sh stop' EXIT
ctest --preset "$preset" -j "$(nproc)"
