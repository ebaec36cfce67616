#!/usr/bin/env bash
# Runs an end-to-end test script in a private Xvfb server:
#   run-in-xvfb.sh SCRIPT PROGRAM
# The script gets DISPLAY and the program's path as its first argument.
set -euo pipefail
script="$1"; shift
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then
    display=":$n"; break
  fi
done
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; wait $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  DISPLAY="$display" xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done
DISPLAY="$display" bash "$script" "$@"
