# Shared by the screenshot scripts (sourced, not run): a throw-away work folder, background
# processes ended on exit, waiting for a condition, and a virtual X display.

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

# Starts Xvfb on the first free display number with the screen size $1 (e.g. 800x600x24) and
# exports DISPLAY.
start_xvfb() {
  local display=99
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
  done
  Xvfb ":$display" -screen 0 "$1" -nolisten tcp >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  export DISPLAY=":$display"
  wait_for 100 xwininfo -root || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
}
