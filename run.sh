#!/usr/bin/env bash
# Installs what is missing, builds into build/ and starts the program; arguments go to it.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DTARNWICK_TESTS=OFF -DTARNWICK_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)"

for program in build/app/tarnwick build/app/tarnwick-cli; do
  if [ -x "$program" ]; then
    exec "$program" "$@"
  fi
done

version=$(sed -n 's/^project(tarnwick VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
cat <<TEXT
Tarnwick $version
There is no program to start yet: what is built so far are the libraries
$(ls build/*/libtarnwick_*.a 2>/dev/null | sed 's|.*/libtarnwick_\(.*\)\.a|  tarnwick_\1|')
Usage: ./run.sh [arguments for the program]   (once the program exists)
       ./test.sh [--sanitize] [--large]        build and run every test
TEXT
