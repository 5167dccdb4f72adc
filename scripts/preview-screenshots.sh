#!/usr/bin/env bash
# Screenshots of the report preview for people reviewing its look: the window as it opens, the
# thumbnails when the panel was left open, the find highlight (a value wrapped in its cell, a
# value cut off at its cell's edge, full-width input), full screen, and a landscape sheet from
# the page settings. Runs on a virtual display (Xvfb) with openbox drawing the window frames,
# then once more without any window manager (the window must still open large). Not a test.
#
# Usage: scripts/preview-screenshots.sh [build folder] [output folder]
#   build folder   holds reportengine/qt/preview_screenshots (default: build)
#   output folder  receives the PNG files (default: <build folder>/preview-screenshots)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$build/preview-screenshots}
tool=$build/reportengine/qt/preview_screenshots

if [ ! -x "$tool" ]; then
  echo "no $tool: build it first (cmake --build $build --target preview_screenshots)" >&2
  exit 1
fi
for t in Xvfb xwininfo openbox; do
  command -v "$t" >/dev/null || { echo "missing $t: run scripts/setup.sh" >&2; exit 1; }
done
mkdir -p "$out"

work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# waits until the command succeeds, for at most $1 tenths of a second
wait_for() {
  local tries=$1
  shift
  until "$@" >/dev/null 2>&1; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}

display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$display" QT_QPA_PLATFORM=xcb
wait_for 100 xwininfo -root || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }

# The preview keeps its settings per user: a throw-away home for them.
export XDG_CONFIG_HOME=$work/config

# 1. Without a window manager: only the opening shot matters here.
"$tool" "$out" no-window-manager
rm -f "$out"/no-window-manager-[!o]*.png

# 2. With openbox, every shot.
rm -rf "$XDG_CONFIG_HOME"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1
"$tool" "$out" preview
echo "screenshots in $out"
