#!/usr/bin/env bash
# Runs an end-to-end test script in a private Xvfb server:
#   run-in-xvfb.sh SCRIPT PROGRAM
# The script gets DISPLAY and the program's path as its first argument.
set -euo pipefail
script="$1"; shift
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb.sh"
XVFB_LOG=$(mktemp)
# The program keeps unsaved text in the user's state folder when it is ended:
# each test gets a state folder of its own (a script may set another), so no
# test reads another's copy and none writes into the real user's.
STATE_DIR=$(mktemp -d)
export XDG_STATE_HOME="$STATE_DIR"
start_xvfb
trap 'stop_xvfb; rm -f "$XVFB_LOG"; rm -rf "$STATE_DIR"' EXIT
status=0
bash "$script" "$@" || status=$?
# A failed test shows what the X server said, and whether it still runs.
if [ "$status" -ne 0 ] && [ "$status" -ne 77 ]; then
  kill -0 "$XVFB_PID" 2>/dev/null || echo "--- the X server had ended" >&2
  if [ -s "$XVFB_LOG" ]; then echo "--- X server log" >&2; tail -n 20 "$XVFB_LOG" >&2; fi
fi
exit "$status"
