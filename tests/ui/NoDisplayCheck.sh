#!/usr/bin/env bash
# The program started with no display at all (DISPLAY, WAYLAND_DISPLAY and
# QT_QPA_PLATFORM unset): one line on standard error that says so in Russian
# and English, exit status 1, no abort and none of the toolkit's own
# "Reinstalling the application may fix this problem" report. The same for
# a DISPLAY that names no server.
#   NoDisplayCheck.sh PROGRAM
set -uo pipefail
program="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# check LABEL ENV...: runs the program in a scratch folder with the
# environment changes given and checks what it says and how it ends.
check() {
  local label="$1"
  shift
  local status=0
  (cd "$work" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" \
    timeout 60 "$program" >"$work/out" 2>"$work/err") || status=$?
  echo "$label: exit status $status; standard error:"
  cat "$work/err"
  [ "$status" -eq 1 ] || fail "$label: exit status $status, not 1"
  [ "$(wc -l <"$work/err")" -eq 1 ] || fail "$label: not exactly one line on standard error"
  grep -q 'no X or Wayland display; set DISPLAY' "$work/err" || fail "$label: no English reason"
  grep -q 'нет дисплея X или Wayland, задайте DISPLAY' "$work/err" || fail "$label: no Russian reason"
  if grep -qi 'reinstall\|platform plugin\|abort' "$work/err"; then
    fail "$label: the toolkit's own report came through"
  fi
  [ ! -s "$work/out" ] || fail "$label: something on standard output: $(cat "$work/out")"
  ls "$work"/core* >/dev/null 2>&1 && fail "$label: a core file was left"
}

check "no display"
# A display number no X server here listens on (the sockets are checked).
number=1999
while [ -e "/tmp/.X11-unix/X$number" ]; do number=$((number + 1)); done
check "DISPLAY=:$number with no server" DISPLAY=":$number"

[ "$failed" -eq 0 ] || exit 1
echo "PASS"
