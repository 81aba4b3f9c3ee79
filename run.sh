#!/usr/bin/env bash
# Installs what is missing, builds into build/ and starts the program; arguments go to it.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DTARNWICK_TESTS=OFF -DTARNWICK_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)"

exec build/app/tarnwick "$@"
