#!/usr/bin/env bash
# Start-up, memory, first preview and typing, timed from the X server's own
# events (bench/ui/XWatch.cpp) in a private Xvfb, medians of RUNS:
#   - the start-up the user waits for beyond the splash's two seconds: start
#     to the splash on screen plus splash closed to main window on screen,
#     for Deckhand, the floor program (bench/ui/Floor.cpp: a bare Qt program
#     with the same kind of splash) and FeatherPad (no splash: start to its
#     window), run alternately;
#   - resident memory of the whole process tree 1 s after the main window
#     shows, and, for Deckhand, 4 s after it with a preview made at about 1 s;
#   - the first preview: F5 to the page painted on the phone's screen, for
#     the new-document template and for a 1 MB deck;
#   - typing in a 2 MB deck: a key to the repaint with the caret panel
#     updated, at the start, about the middle and the end of the text, and
#     at the end again once a preview has been shown.
# Times are never taken across the splash's two-second timer.
#   bench/startup.sh BUILD_DIR [RUNS]
# DECKHAND_PROGRAM names another build of the program to time (an older one,
# say) with the same tools.
set -euo pipefail
build="$(cd "$1" && pwd)"; runs="${2:-7}"
app="${DECKHAND_PROGRAM:-$build/ui/deckhand}"; floor="$build/bench/floor"; xwatch="$build/bench/xwatch"
for tool in "$app" "$floor" "$xwatch"; do
  [ -x "$tool" ] || { echo "no $tool: build the deckhand, floor and xwatch targets" >&2; exit 1; }
done
# The main window's title, as the build generated it from the project's version.
main=$(sed -n 's/.*kProductTitle\[\] = "\(.*\)";/\1/p' "$build/ui/generated/ui/Version.h")
[ -n "$main" ] || { echo "no product title in $build/ui/generated/ui/Version.h" >&2; exit 1; }
command -v featherpad >/dev/null ||
  { echo "featherpad is not installed (see scripts/packages.txt)" >&2; exit 1; }

source "$(dirname "${BASH_SOURCE[0]}")/../scripts/xvfb.sh"
work="$(mktemp -d)"
start_xvfb
trap 'stop_xvfb; rm -rf "$work"' EXIT
# Like a user's session: a private runtime folder.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The program keeps unsaved text for the next start in the state folder; a
# private one, so that no run leaves a recovery offer to the next or to the
# user.
export XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config"

splash="Загрузка..."
# The phone's screen (the HTML view) in the main window at its default size.
# The caret panel (status panel 2) sits on the status bar along the window's
# bottom edge: its rectangle is taken from the window's height once it shows.
screen="34,152,115,93"
caret_panel() {
  local id height
  id=$(xdotool search --onlyvisible --name "^$main\$" | tail -n 1)
  height=$(xwininfo -id "$id" | awk '/^ *Height:/ {print $2}')
  echo "402,$((height - 18)),36,14"
}

# deck FILE BYTES: a Windows-1251 deck of cards of short lines, CR LF.
deck() {
  python3 - "$1" "$2" <<'PY'
import sys
size = int(sys.argv[2])
line = "<p>Строка на экране телефона, <b>жирный</b> текст.</p>\r\n".encode("cp1251")
out = bytearray(b'<?xml version="1.0"?>\r\n<wml>\r\n')
card = 0
while len(out) < size - 64:
    out += b'<card id="c%d">\r\n' % card
    card += 1
    for _ in range(20):
        out += line
    out += b"</card>\r\n"
out += b"</wml>"
open(sys.argv[1], "wb").write(bytes(out[:size]))
PY
}
deck "$work/1mb.wml" 1048576
deck "$work/2mb.wml" 2097152

median() { sort -n | awk '{a[NR]=$1} END {if (NR) print a[int((NR+1)/2)]; else print "n/a"}'; }

# events MAIN SPLASH: (MAIN may list '|'-separated titles) from xwatch's lines, "WAIT_MS RSS_KB" (WAIT_MS is the
# time to the splash plus splash closed to main window; with no splash, the
# time to the main window).
events() {
  awk -v main="$1" -v splash="$2" '
    { title = $0; sub(/^[a-z]+ [0-9.]+ 0x[0-9a-f]+ /, "", title) }
    $1 == "map" && title == splash && s == "" { s = $2 }
    $1 == "unmap" && title == splash && u == "" { u = $2 }
    $1 == "map" && index("|" main "|", "|" title "|") && m == "" { m = $2 }
    $1 == "rss" { rss = $2 }
    END {
      if (m == "" || rss == "") exit 1
      printf "%.1f %d\n", (splash == "" ? m : s + (m - u)), rss
    }'
}

# run MAIN SPLASH RSS_AFTER_MS COMMAND...: one start, "WAIT_MS RSS_KB".
run() {
  local title="$1" splash_title="$2" after="$3"; shift 3
  (cd "$work" && "$xwatch" start "$title" "$after" "$work/app.log" -- "$@") >"$work/events" || true
  events "$title" "$splash_title" <"$work/events" ||
    { echo "$1 did not start: $(cat "$work/events" "$work/app.log")" >&2; return 1; }
}

wait_main() {
  for _ in $(seq 1 300); do
    xdotool search --onlyvisible --name "^$main\$" >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  echo "no main window" >&2; return 1
}

# open FILE: opens a deck through the program's own Open dialog.
open_deck() {
  local id
  id=$(xdotool search --onlyvisible --name "^$main\$" | tail -n 1)
  xdotool windowfocus --sync "$id"; xdotool key ctrl+o
  for _ in $(seq 1 100); do
    id=$(xdotool search --onlyvisible --name '^Open$' 2>/dev/null | tail -n 1) && [ -n "$id" ] && break
    sleep 0.05
  done
  xdotool windowfocus --sync "$id"; sleep 0.3
  xdotool key ctrl+a; xdotool type --delay 5 "$1"; xdotool key Return
  while xdotool search --onlyvisible --name '^Open$' >/dev/null 2>&1; do sleep 0.05; done
  # No window manager: move the focus away and back after a modal dialog.
  xdotool windowfocus --sync "$(xwininfo -root | awk '/Window id:/ {print $4}')" 2>/dev/null || true
  sleep 1
}

# preview_run [DECK]: one start, the first preview; "PAINT_MS RSS_KB" (the
# memory 4 s after the main window showed, the preview made at about 1 s).
preview_run() {
  local bg paint rss
  (cd "$work" && "$xwatch" start "$main" 4000 "$work/app.log" -- "$app") >"$work/events" &
  bg=$!
  wait_main; sleep 0.7
  [ -z "${1:-}" ] || open_deck "$1"
  paint=$("$xwatch" paint "$main" "$screen" F5 30000 | awk '{print $2}')
  if [ -n "${1:-}" ]; then kill -TERM "$bg"; fi
  wait "$bg" || true
  rss=$(awk '$1 == "rss" {print $2}' "$work/events")
  echo "$paint ${rss:-n/a}"
}

d_wait=(); d_rss=(); l_wait=(); l_rss=(); f_wait=(); f_rss=()
p_tmpl=(); p_rss=(); p_1mb=()
for i in $(seq 1 "$runs"); do
  read -r w r < <(run "$main" "$splash" 1000 "$app"); d_wait+=("$w"); d_rss+=("$r")
  read -r w r < <(run "Floor" "Floor splash" 1000 "$floor"); l_wait+=("$w"); l_rss+=("$r")
  read -r w r < <(run "Untitled|FeatherPad" "" 1000 featherpad --standalone); f_wait+=("$w"); f_rss+=("$r")
  read -r p r < <(preview_run); p_tmpl+=("$p"); p_rss+=("$r")
  read -r p _ < <(preview_run "$work/1mb.wml"); p_1mb+=("$p")
  echo "run $i: deckhand ${d_wait[-1]} ms ${d_rss[-1]} kB; floor ${l_wait[-1]} ms ${l_rss[-1]} kB;" \
    "featherpad ${f_wait[-1]} ms ${f_rss[-1]} kB; first preview ${p_tmpl[-1]} ms" \
    "(1 MB ${p_1mb[-1]} ms), with it ${p_rss[-1]} kB" >&2
done
# The log of a start without a GPU: nothing but Chromium's note that root
# runs it without its sandbox.
log_lines=$(grep -v -c -e '^Sandboxing disabled by user\.$' "$work/app.log" || true)

# Typing in the 2 MB deck: 30 keys at the start, about the middle (600
# pages down from the start, of about 1,200) and the end.
(cd "$work" && "$xwatch" start "$main" 600000 "$work/typing.log" -- "$app") >/dev/null &
bg=$!
wait_main; sleep 0.7
open_deck "$work/2mb.wml"
id=$(xdotool search --onlyvisible --name "^$main\$" | tail -n 1)
xdotool windowfocus --sync "$id"; xdotool key Tab ctrl+Home; sleep 0.5
caret=$(caret_panel)
typing() {
  # The caret's journey may keep the program busy for a while: one key that
  # gets its repaint first, then the measured keys.
  for _ in $(seq 1 24); do "$xwatch" keys "$main" "$caret" x 1 100 >/dev/null && break; done
  "$xwatch" keys "$main" "$caret" x 30 100 >"$work/keys" || true
  awk '$1 == "keys" {k = $3 " " $5} END {print (k == "" ? "n/a n/a" : k)}' "$work/keys"
}
read -r t_start_med t_start_max < <(typing)
xdotool key --delay 2 --repeat 600 Page_Down; sleep 1
read -r t_mid_med t_mid_max < <(typing)
xdotool key ctrl+End; sleep 1
read -r t_end_med t_end_max < <(typing)
# Once the view shows a page: the view must not slow the editor down.
"$xwatch" paint "$main" "$screen" F5 30000 >/dev/null || true
sleep 2
read -r t_view_med t_view_max < <(typing)
kill -TERM "$bg"; wait "$bg" || true

dw=$(printf '%s\n' "${d_wait[@]}" | median); lw=$(printf '%s\n' "${l_wait[@]}" | median)
fw=$(printf '%s\n' "${f_wait[@]}" | median)
dr=$(printf '%s\n' "${d_rss[@]}" | median); lr=$(printf '%s\n' "${l_rss[@]}" | median)
fr=$(printf '%s\n' "${f_rss[@]}" | median); pr=$(printf '%s\n' "${p_rss[@]}" | median)
pt=$(printf '%s\n' "${p_tmpl[@]}" | median); p1=$(printf '%s\n' "${p_1mb[@]}" | median)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.2f", a / b; else print "n/a"}'; }
echo "start-up beyond the splash's 2 s (medians of $runs): Deckhand ${dw} ms; floor ${lw} ms" \
  "(ratio $(ratio "$dw" "$lw"), goal <= 2); FeatherPad to its window ${fw} ms"
echo "resident memory 1 s after the main window, whole process tree: Deckhand ${dr} kB;" \
  "floor ${lr} kB; FeatherPad ${fr} kB (ratio $(ratio "$dr" "$fr"), goal <= 1.5)"
echo "resident memory with a preview (4 s after the main window): Deckhand ${pr} kB"
echo "first preview, F5 to the page painted: template ${pt} ms (goal <= 1000);" \
  "1 MB deck ${p1} ms (goal <= 1500)"
echo "typing in a 2 MB deck, key to repaint with the caret panel (median/max of 30 ms):" \
  "start ${t_start_med}/${t_start_max}; middle ${t_mid_med}/${t_mid_max};" \
  "end ${t_end_med}/${t_end_max}; end after a preview ${t_view_med}/${t_view_max} (goal: max <= 30)"
echo "log lines of the last start with a preview, besides the sandbox note: ${log_lines}"
