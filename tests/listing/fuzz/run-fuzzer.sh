#!/usr/bin/env bash
# Builds the listing fuzz target with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer and runs it over a copy of the corpus.
# Usage: run-fuzzer.sh [seconds=60] [build folder]
set -euo pipefail

seconds=${1:-60}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
out=${2:-$root/build-fuzz-listing}
cxx=${CXX_FUZZ:-clang++}

mkdir -p "$out/corpus"
sources=("$root"/listing/*.cpp "$here/FuzzListing.cpp")
"$cxx" -std=c++20 -O1 -g -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root" "${sources[@]}" -o "$out/listing_fuzzer"

cp -n "$here"/corpus/* "$out/corpus/" 2>/dev/null || true
cd "$out"
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ./listing_fuzzer -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -print_final_stats=1 corpus
