#!/usr/bin/env bash
# Builds the Debian package tarnwick_<version>_<arch>.deb: a Release build of the programs
# (no tests, no benchmarks) in build-package/, then `cpack -G DEB`; the package is left in the
# project's folder (or in --out DIR). Install it with `sudo apt-get install ./tarnwick_*.deb`.
#
#   scripts/package.sh [--out DIR] [--jobs N]
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
out="$here"
jobs=$(nproc)
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    *) sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
done
mkdir -p "$out"
out=$(cd "$out" && pwd)

# dpkg-shlibdeps (dpkg-dev) names the packages of the libraries the programs link.
"$here/scripts/install-deps.sh" dpkg-dev

build="$here/build-package"
# -O2 as Debian builds its packages (GCC 12 at -O3 warns falsely about std::string copies).
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DTARNWICK_TESTS=OFF -DTARNWICK_BENCH=OFF >/dev/null
cmake --build "$build" -j"$jobs"
(cd "$build" && cpack -G DEB -B "$build/cpack" >/dev/null)
deb=$(ls "$build"/cpack/tarnwick_*.deb)
cp "$deb" "$out/"
echo "$out/$(basename "$deb")"
dpkg-deb --field "$out/$(basename "$deb")" Package Version Architecture Depends Recommends
