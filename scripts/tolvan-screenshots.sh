#!/usr/bin/env bash
# Screenshots of Tolvan's windows for people reviewing their look: the main window during a
# download and the update confirmation dialog. Runs the real program on a virtual display
# (Xvfb, with openbox drawing the window frames) against the HTTPS test server on 127.0.0.1,
# in a throw-away program folder. Not part of the tests.
#
# Usage: scripts/tolvan-screenshots.sh [build folder] [output folder]
#   build folder   holds tolvan/Tolvan (default: build)
#   output folder  receives the PNG files (default: <build folder>/tolvan-screenshots)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$build/tolvan-screenshots}
tolvan=$build/tolvan/Tolvan
server_script=$root/tests/tolvan_server/https_server.py

if [ ! -x "$tolvan" ]; then
  echo "no $tolvan: build it first (cmake --build $build --target Tolvan)" >&2
  exit 1
fi
for tool in Xvfb import xwininfo openssl python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/setup.sh" >&2; exit 1; }
done
mkdir -p "$out"

source "$root/scripts/screenshot-common.sh"

# ---- display -----------------------------------------------------------------------------------
start_xvfb 800x600x24
if command -v openbox >/dev/null; then
  openbox --sm-disable >"$work/openbox.log" 2>&1 &
  pids+=($!)
  sleep 1
fi

# ---- the update server -------------------------------------------------------------------------
# One self-signed certificate for 127.0.0.1, which Tolvan is told to trust through SSL_CERT_FILE.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=127.0.0.1" \
  -addext "subjectAltName=IP:127.0.0.1" -keyout "$work/key.pem" -out "$work/cert.pem" \
  >"$work/openssl.log" 2>&1
served=$work/srv/data/QX
mkdir -p "$served"
head -c 4000000 /dev/zero >"$served/MST.FDB"
printf 'MZ' >"$served/Norvik.exe"
echo '{}' >"$work/rules.json"
python3 "$server_script" --root "$work/srv/" --rules "$work/rules.json" --cert "$work/cert.pem" \
  --key "$work/key.pem" --port-file "$work/port" >"$work/server.log" 2>&1 &
pids+=($!)
wait_for 100 test -s "$work/port" || { echo "the test server did not start" >&2; exit 1; }
base_url="https://127.0.0.1:$(cat "$work/port")/data/QX/"

# ---- one run of Tolvan per picture -------------------------------------------------------------
# The id of the visible top-level window titled $1, or nothing.
window_id() {
  { xwininfo -root -tree | grep -F "\"$1\"" || true; } | awk '{print $1}' | while read -r id; do
    if xwininfo -id "$id" | grep -q 'Map State: IsViewable'; then echo "$id"; break; fi
  done
}

# run_tolvan <name> <update list> <server rules> [base URL]: starts Tolvan in a fresh program
# folder.
run_tolvan() {
  local pf=$work/$1/
  mkdir -p "$pf"
  cp "$tolvan" "$pf/Tolvan"
  # The main application stands in as a script that ends at once; it has no version resource,
  # so any listed program version counts as newer.
  printf '#!/bin/sh\nexit 0\n' >"$pf/Norvik.exe"
  chmod +x "$pf/Norvik.exe"
  printf 'MST' >"$pf/MST.FDB"
  printf '[PARAM]\r\nNVKMST=%s\r\nDBVERSION=1.0.0.2\r\n' "${4:-$base_url}" >"$pf/user.ini"
  printf '%b' "$2" >"$served/UList"
  echo "$3" >"$work/rules.json"
  (cd "$pf" && SSL_CERT_FILE="$work/cert.pem" exec "$pf/Tolvan" >"$work/$1.log" 2>&1) &
  tolvan_pid=$!
  pids+=("$tolvan_pid")
}

# shoot <title> <file>: waits for the window, lets it settle, and saves it with its frame.
shoot() {
  local id=""
  for _ in $(seq 100); do
    id=$(window_id "$1")
    [ -n "$id" ] && break
    sleep 0.1
  done
  if [ -z "$id" ]; then
    echo "no window \"$1\"" >&2
    return 1
  fi
  sleep 2
  import -window "$id" -frame "$out/$2"
  import -window root "$out/${2%.png}-screen.png"
  echo "saved $out/$2"
}

# The main window while the master database downloads: the server stops sending at a quarter.
run_tolvan download 'MST.FDB,1.0.0.3\r\n' \
  '{"GET /data/QX/MST.FDB": {"stall": 60, "stall_after": 1000000}}'
shoot "マスター更新" main-window-download.png
kill "$tolvan_pid" 2>/dev/null || true

# The confirmation dialog, with both updates offered.
run_tolvan dialog 'MST.FDB,1.0.0.3\r\nNorvik.exe,2.0.0.3\r\n' '{}'
shoot "マスター更新の確認" confirmation-dialog.png
kill "$tolvan_pid" 2>/dev/null || true

# No connection: the warning over the main window (see the -screen picture).
run_tolvan offline 'MST.FDB,1.0.0.3\r\n' '{}' "https://127.0.0.1:1/data/QX/"
shoot "警告" no-connection-warning.png
kill "$tolvan_pid" 2>/dev/null || true
