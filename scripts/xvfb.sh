# Sourced by scripts and tests that need a private X server:
#   start_xvfb [WIDTHxHEIGHTxDEPTH]
# starts Xvfb on a display number the server picks itself (so parallel or
# back-to-back runs never share one), waits until it accepts connections,
# exports DISPLAY and sets XVFB_PID. stop_xvfb ends it and waits for it.
# -noreset: by default the server resets itself whenever its last client
# disconnects, and a program started at that moment (a test that ends the
# program and starts it again) cannot connect to it. The server's own
# messages go to XVFB_LOG when that names a file.
start_xvfb() {
  local screen="${1:-1280x1024x24}" numberfile
  numberfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$numberfile" >"${XVFB_LOG:-/dev/null}" 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 1 200); do
    [ -s "$numberfile" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || { rm -f "$numberfile"; echo "Xvfb did not start" >&2; return 1; }
    sleep 0.05
  done
  [ -s "$numberfile" ] || { rm -f "$numberfile"; echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(tr -d '[:space:]' <"$numberfile")"
  rm -f "$numberfile"
}

stop_xvfb() {
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""
  fi
}
