# Helpers for the end-to-end scripts: start the program in a scratch folder,
# wait for windows, focus them (Xvfb has no window manager), and check files.
set -euo pipefail

APP="$1"
WORK="$(mktemp -d)"
APP_PID=""

fail() {
  echo "FAIL: $*" >&2
  if [ -s "$WORK/app.log" ]; then
    echo "-- the program's output:" >&2
    tail -n 20 "$WORK/app.log" >&2
  fi
  exit 1
}

cleanup() {
  if [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; then
    kill "$APP_PID" 2>/dev/null || true
    wait "$APP_PID" 2>/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

# start_app [ARGUMENTS...]: starts the program in the scratch folder.
start_app() {
  (cd "$WORK" && exec "$APP" "$@" >"$WORK/app.log" 2>&1) &
  APP_PID=$!
}

source "$(dirname "${BASH_SOURCE[0]}")/WindowWait.sh"

# wait_gone NAME: waits until no visible window is titled NAME.
wait_gone() {
  for _ in $(seq 1 100); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  fail "window '$1' did not close"
}

# focus NAME: gives the keyboard focus to the visible window titled NAME. The
# toolkit may replace a window's native window right after showing it (the
# HTML view needs a GL-capable one), so the window is looked up afresh and
# the focus retried until it holds.
focus() {
  local id
  for _ in $(seq 1 50); do
    id=$(wait_window "$1" 10)
    # --sync waits for ever when the window is replaced meanwhile.
    if timeout 5 xdotool windowfocus --sync "$id" 2>/dev/null; then
      sleep 0.2
      return 0
    fi
    sleep 0.1
  done
  fail "cannot focus '$1'"
}

keys() { xdotool key --delay 60 "$@"; sleep 0.3; }

# type_text TEXT: types TEXT one character at a time. Characters outside the
# keyboard map (Cyrillic on a plain Xvfb) are typed through a keycode that
# xdotool maps for each of them; typed in one run, a repeated one ("ее") can
# be lost on a busy machine, so each character is a run of its own.
type_text() {
  local ch
  while IFS= read -r -d '' ch; do
    xdotool type --delay 30 -- "$ch"
    sleep 0.03
  done < <(python3 -c 'import sys; sys.stdout.write("\0".join(sys.argv[1]) + "\0")' "$1")
  sleep 0.3
}

# wait_file PATH: waits until PATH exists and is not empty.
wait_file() {
  for _ in $(seq 1 100); do
    [ -s "$1" ] && return 0
    sleep 0.1
  done
  fail "file $1 was not written"
}

# wait_exit: waits for the program to end.
wait_exit() {
  for _ in $(seq 1 100); do
    kill -0 "$APP_PID" 2>/dev/null || { wait "$APP_PID" 2>/dev/null || true; APP_PID=""; return 0; }
    sleep 0.1
  done
  fail "the program did not end"
}
