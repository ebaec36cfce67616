#!/usr/bin/env bash
# Runs the preview rendering check in a private Xvfb server:
#   PreviewRender.sh CHECK_PROGRAM [FOLDER_FOR_PICTURES]
set -euo pipefail
program="$1"; shift
display=""
for n in $(seq 150 199); do
  if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then
    display=":$n"; break
  fi
done
[ -n "$display" ] || { echo "no free X display" >&2; exit 1; }
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; wait $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  DISPLAY="$display" xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done
DISPLAY="$display" "$program" "$@"
