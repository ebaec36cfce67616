#!/usr/bin/env bash
# Typing in the editor with the phone emulator open on a hostile deck: for
# each deck of bench/ui/hostile/make-decks.py, the deck is opened, F6 shows
# the emulator on it, and 30 keys are typed into the editor 400 ms apart
# (into a comment, so that the deck stays what it is; the emulator takes up
# the text after every key, 300 ms after it, while the next key comes). Each key is timed from the X server's events, key to
# the repaint of the caret panel (bench/ui/XWatch.cpp), in a private Xvfb.
#   bench/ui/emulator-typing.sh BUILD_DIR [DECK...]
# Prints one line per deck: "DECK median MS max MS" (goal: max < 50).
# EMULATOR=0 times the same typing without the emulator (the editor's own
# cost on each deck, to compare with). LINE and COLUMN put the caret
# elsewhere (default: line 3, column 5, the comment); LINE=5 COLUMN=21 types
# into the 1 MB word of word-1mb, the editor's own worst case.
set -euo pipefail
build="$(cd "$1" && pwd)"; shift
app="${DECKHAND_PROGRAM:-$build/ui/deckhand}"; xwatch="$build/bench/xwatch"
for tool in "$app" "$xwatch"; do
  [ -x "$tool" ] || { echo "no $tool: build the deckhand and xwatch targets" >&2; exit 1; }
done
main=$(sed -n 's/.*kProductTitle\[\] = "\(.*\)";/\1/p' "$build/ui/generated/ui/Version.h")
[ -n "$main" ] || { echo "no product title in $build/ui/generated/ui/Version.h" >&2; exit 1; }
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

source "$here/../../scripts/xvfb.sh"
work="$(mktemp -d)"
start_xvfb
trap 'stop_xvfb; rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The program keeps unsaved text for the next start in the state folder: a
# private one, emptied before each deck, so that no run leaves a recovery
# offer to the next or to the user.
export XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config"
python3 "$here/hostile/make-decks.py" "$work/decks"
if [ $# -eq 0 ]; then
  set -- doubling title-1mb nested images setvar-chain select word-1mb attribute-entities ping-4mb
fi

main_id() { xdotool search --onlyvisible --name "^$main\$" | tail -n 1; }
wait_title() {
  for _ in $(seq 1 300); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  echo "no window $1" >&2; return 1
}
caret_panel() {
  local height
  height=$(xwininfo -id "$(main_id)" | awk '/^ *Height:/ {print $2}')
  echo "402,$((height - 18)),36,14"
}
open_deck() {
  local id
  xdotool windowfocus --sync "$(main_id)"; xdotool key ctrl+o
  wait_title '^Open$'
  id=$(xdotool search --onlyvisible --name '^Open$' | tail -n 1)
  xdotool windowfocus --sync "$id"; sleep 0.3
  xdotool key ctrl+a; xdotool type --delay 5 "$1"; xdotool key Return
  while xdotool search --onlyvisible --name '^Open$' >/dev/null 2>&1; do sleep 0.05; done
  sleep 1
}

measure() {
  local name="$1"
  # Each deck's run starts without the text the run before left unsaved.
  rm -rf "$XDG_STATE_HOME"
  (cd "$work" && "$xwatch" start "$main" 600000 "$work/app-$name.log" -- "$app") >/dev/null &
  bg=$!
  wait_title "^$main\$"; sleep 0.7
  open_deck "$work/decks/$name.wml"
  if [ "${EMULATOR:-1}" != 0 ]; then
    xdotool windowfocus --sync "$(main_id)"; xdotool key F6
    wait_title '^Эмулятор телефона$' || { kill -TERM "$bg"; wait "$bg" || true; return 1; }
    # No window manager: the emulator beside the main window, not over it.
    xdotool windowmove --sync "$(xdotool search --onlyvisible --name '^Эмулятор телефона$' | tail -n 1)" 800 0
  fi
  sleep 2
  # Into the comment of line 3: the deck stays what it is.
  xdotool windowfocus --sync "$(main_id)"; xdotool key Tab ctrl+Home
  for _ in $(seq 2 "${LINE:-3}"); do xdotool key Down; done
  xdotool key Home
  for _ in $(seq 2 "${COLUMN:-5}"); do xdotool key Right; done
  sleep 0.5
  caret=$(caret_panel)
  for _ in $(seq 1 24); do "$xwatch" keys "$main" "$caret" x 1 400 >/dev/null && break; done
  "$xwatch" keys "$main" "$caret" x 30 400 >"$work/keys-$name" || true
  alive=yes; kill -0 "$bg" 2>/dev/null || alive=no
  kill -TERM "$bg" 2>/dev/null || true; wait "$bg" 2>/dev/null || true
  awk -v deck="$name" -v alive="$alive" '$1 == "keys" {k = $3 " max " $5}
    END {print deck " median " (k == "" ? "n/a" : k) " ms" (alive == "yes" ? "" : " (the program ended)")}' \
    "$work/keys-$name"
}
for name in "$@"; do
  measure "$name" || echo "$name n/a: the emulator did not show within 15 s of F6"
done
