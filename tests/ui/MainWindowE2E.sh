#!/usr/bin/env bash
# End to end in a real X server: start the program with arguments it must
# ignore, wait for the splash to give way to the main window, check that the
# window is laid out left to right, type into the editor, save through the
# real save dialog, check the file's bytes (the template, not the file named
# on the command line), change the text, close and answer the save prompt.
# The HTML view's engine starts only at the first F5, which shows the page on
# the phone's screen; the program's log stays clean.
source "$(dirname "${BASH_SOURCE[0]}")/E2ESupport.sh"

# As in a user's session, which has a private runtime folder.
export XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# dark_share: the share of dark pixels on the phone's screen (the view's
# rectangle below the menu bar and the standard toolbar), 0 for a blank one.
dark_share() {
  local id
  id=$(wait_window "Deckhand v0.2" 10)
  timeout 10 import -window "$id" "$WORK/shot.png" 2>/dev/null || { echo 0; return; }
  convert "$WORK/shot.png" -crop 115x93+34+152 +repage -colorspace gray -threshold 50% \
    -format '%[fx:1-mean]' info:
}

# helpers: the web engine's processes below the program.
helpers() { pgrep -f QtWebEngineProcess -P "$APP_PID" | wc -l; }

# Arguments the toolkit would act on (another platform, right to left) and a
# document: none of them may change anything.
printf 'given on the command line' >"$WORK/given.wml"
start_app -platform offscreen -reverse -style windows "$WORK/given.wml"
wait_window "Загрузка..." 20 >/dev/null
# While the splash is up the main window is not shown. The main window shows
# within a millisecond of the splash closing, so the splash is looked up
# again after the main window was seen: both at once is a fault, one after
# the other is the hand-over.
while xdotool search --onlyvisible --name "^Загрузка...\$" >/dev/null 2>&1; do
  if xdotool search --onlyvisible --name "^Deckhand v0.2\$" >/dev/null 2>&1 &&
    xdotool search --onlyvisible --name "^Загрузка...\$" >/dev/null 2>&1; then
    fail "the main window showed while the splash was still up"
  fi
  sleep 0.05
done
wait_window "Deckhand v0.2" 30 >/dev/null
focus "Deckhand v0.2"

# Left to right: the phone picture (dark) on the left, the editor (white) on
# the right, compared over two strips of the middle band.
window=$(wait_window "Deckhand v0.2" 10)
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$WORK/shot.png" ||
  fail "no screenshot of the main window"
strip_mean() { convert "$WORK/shot.png" -crop "$1" +repage -colorspace Gray -format '%[fx:mean]' info:; }
left=$(strip_mean "140x150+20+120")
right=$(strip_mean "140x150+$((WIDTH - 160))+120")
awk -v l="$left" -v r="$right" 'BEGIN { exit !(l + 0.1 < r) }' ||
  fail "the window is not laid out left to right (left $left, right $right)"

# The focus starts on "Показать"; Tab moves it to the editor.
keys Tab ctrl+End
type_text "<p>e2e</p>"

# Save: no path yet, so the save dialog asks for one.
keys ctrl+s
focus "Save As"
keys ctrl+a
type_text "$WORK/deck"
keys Return
wait_gone "Save As"
wait_file "$WORK/deck.wml"

expected="$WORK/expected.wml"
printf '<?xml version="1.0"?>\r\n<!DOCTYPE wml PUBLIC "-//WAPFORUM//DTD WML 1.1//EN" "http://www.wapforum.org/DTD/wml_1.1.xml">\r\n<wml>\r\n\r\n<card id="card1" title="MainPage">\r\n<p>\xcf\xf0\xe8\xe2\xe5\xf2 \xe2\xf1\xe5\xec!</p>\r\n</card>\r\n\r\n</wml>\r\n<p>e2e</p>' >"$expected"
cmp "$expected" "$WORK/deck.wml" || fail "saved bytes differ: $(xxd "$WORK/deck.wml" | tail -n 3)"

# Before the first preview the screen is blank and no engine runs.
[ "$(helpers)" -eq 0 ] || fail "the web engine runs before the first preview"
[ "$(dark_share)" = 0 ] || fail "the phone's screen is not blank before the first preview"

# One F5 writes the preview page below the starting folder and shows it,
# in the same native window: the view's creation must not make the toolkit
# replace the main window (the user would see it vanish and come back).
before_preview=$(xdotool search --onlyvisible --name "^Deckhand v0.2\$")
focus "Deckhand v0.2"
keys F5
wait_file "$WORK/temp/temp.htm"
[ "$(stat -c %s "$WORK/temp/temp.htm")" -eq $((168 + $(stat -c %s "$WORK/deck.wml"))) ] ||
  fail "preview page size"
shown=""
deadline=$((SECONDS + 30))
while [ "$SECONDS" -lt "$deadline" ]; do
  awk -v d="$(dark_share)" 'BEGIN {exit !(d > 0.01)}' && { shown=1; break; }
  sleep 0.2
done
[ -n "$shown" ] || fail "the first F5 did not show the page on the phone's screen"
[ "$(helpers)" -gt 0 ] || fail "no web engine process after the first preview"
after_preview=$(xdotool search --onlyvisible --name "^Deckhand v0.2\$")
[ "$after_preview" = "$before_preview" ] ||
  fail "the first preview replaced the main window ($before_preview, then $after_preview)"

# Change the text, close, answer Yes: the file is written again and the
# program ends.
focus "Deckhand v0.2"
keys ctrl+End
type_text "!"
keys alt+F4
focus "Confirm"
keys Return
wait_exit
printf '!' >>"$expected"
cmp "$expected" "$WORK/deck.wml" || fail "the close did not save the change"

# Neither Qt nor Chromium had anything to complain about (Chromium's note
# that root runs it without its sandbox aside).
if grep -v -e '^Sandboxing disabled by user\.$' "$WORK/app.log" | grep -q .; then
  fail "the program logged: $(head -n 5 "$WORK/app.log")"
fi
echo "PASS"
