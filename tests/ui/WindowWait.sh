# Sourced by the end-to-end scripts: looking windows up by title on the
# private X server while the program brings them up. Each script defines
# fail MESSAGE (ends the test) and APP_PID (the program's process).

# visible_window NAME: the id of a visible window titled NAME, if any.
visible_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n 1 || true; }

# wait_window NAME [SECONDS]: prints the id of a visible window titled NAME,
# polling every tenth of a second; fails when the program ends first or no
# such window shows in time.
wait_window() {
  local name="$1" seconds="${2:-30}" id
  for _ in $(seq 1 $((seconds * 10))); do
    id=$(visible_window "$name")
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    kill -0 "$APP_PID" 2>/dev/null || fail "the program ended while waiting for '$name'"
    sleep 0.1
  done
  fail "no window '$name' after ${seconds}s"
}
