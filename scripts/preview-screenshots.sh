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

source "$root/scripts/screenshot-common.sh"
start_xvfb 1280x900x24
export QT_QPA_PLATFORM=xcb

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
