#!/usr/bin/env bash
# Makes docs/screenshot.png, the picture in the README: the main window on the offscreen
# platform, connected to the demo server of `tarnwick --demo` with its sample tree listed.
# The local pane shows the project's folder. Builds the program into build/ when there is no
# build tree to take it from.
#
#   scripts/screenshot.sh [--build DIR] [--out FILE]
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build"
out="$here/docs/screenshot.png"
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
done

if [ ! -f "$build/CMakeCache.txt" ]; then
  "$here/scripts/install-deps.sh"
  cmake -S "$here" -B "$build" -G Ninja -DTARNWICK_TESTS=OFF -DTARNWICK_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target tarnwick -j2 >/dev/null
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")

# The offscreen platform draws with Qt's own style and the fonts fontconfig finds. The local
# pane shows a home folder as a desktop has it (the program starts in the home folder when
# the preferences name none), made in a scratch folder with the caches.
scratch=$(mktemp -d -t tarnwick-screenshot.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
home="$scratch/home"
mkdir -p "$home"/{Desktop,Documents,Downloads,Music,Pictures,Videos} "$scratch/cache"
mkdir -m 700 "$scratch/runtime"
printf 'Things to upload\n' > "$home/Documents/todo.txt"
printf 'Notes\n' > "$home/notes.txt"
head -c 48213 /dev/zero > "$home/report.pdf"
cd "$home"
HOME="$home" XDG_CACHE_HOME="$scratch/cache" XDG_CONFIG_HOME="$scratch/cache" \
  XDG_RUNTIME_DIR="$scratch/runtime" \
  QT_QPA_PLATFORM=offscreen "$build/app/tarnwick" --demo --screenshot "$out" \
  2> >(grep -v -e propagateSizeHints >&2)
echo "$out"
