#!/usr/bin/env bash
# End to end: F1 hands the help file of the working directory to xdg-open when
# there is one, and the user guide beside the program otherwise. A recording
# xdg-open placed first on the PATH writes down its working directory and
# arguments.
source "$(dirname "${BASH_SOURCE[0]}")/E2ESupport.sh"

GUIDE="$(cd "$(dirname "$APP")" && realpath -e ../share/deckhand/guide/index.html 2>/dev/null)" ||
  fail "no user guide beside $APP (expected ../share/deckhand/guide/index.html)"

mkdir -p "$WORK/tools"
cat >"$WORK/tools/xdg-open" <<'SCRIPT'
#!/bin/sh
{ pwd -P; echo "$#"; for a in "$@"; do echo "[$a]"; done; } > "$RECORD.tmp" && mv "$RECORD.tmp" "$RECORD"
SCRIPT
chmod +x "$WORK/tools/xdg-open"
export PATH="$WORK/tools:$PATH"
export RECORD="$WORK/record"

# press_f1: presses F1 in the main window and prints what xdg-open received.
press_f1() {
  rm -f "$RECORD"
  focus "Deckhand v0.2"
  keys F1
  wait_file "$RECORD"
  cat "$RECORD"
}

start_app
wait_window "Deckhand v0.2" 40 >/dev/null
work="$(cd "$WORK" && pwd -P)"

got="$(press_f1)"
[ "$got" = "$(printf '%s\n1\n[%s]' "$work" "$GUIDE")" ] ||
  fail "F1 without help.hlp handed over: $got"

: >"$WORK/help.hlp"
got="$(press_f1)"
[ "$got" = "$(printf '%s\n1\n[help.hlp]' "$work")" ] ||
  fail "F1 with help.hlp handed over: $got"
echo "PASS"
