#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs every test.
#   ./test.sh              the whole suite (unit, integration, gui)
#   ./test.sh --sanitize   the same suite built with ASan and UBSan into build-sanitize/
#   ./test.sh --large      also the tests labelled "large" (transfers past 4 GiB)
# Further arguments go to ctest (for example -R Listing or -L unit).
set -euo pipefail
cd "$(dirname "$0")"

build=build
cmake_args=()
ctest_args=()
large=0
for a in "$@"; do
  case "$a" in
    --sanitize) build=build-sanitize; cmake_args+=(-DTARNWICK_SANITIZE=ON) ;;
    --large) large=1 ;;
    *) ctest_args+=("$a") ;;
  esac
done
[ $large -eq 1 ] || ctest_args+=(-LE large)

./scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja "${cmake_args[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "${ctest_args[@]}"
