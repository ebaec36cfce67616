#!/usr/bin/env bash
# End to end in a real X server: start the program with arguments it must
# ignore, wait for the splash to give way to the main window, check that the
# window is laid out left to right, type into the editor, save through the
# real save dialog, check the file's bytes (the template, not the file named
# on the command line), change the text, close and answer the save prompt.
source "$(dirname "${BASH_SOURCE[0]}")/E2ESupport.sh"

# Arguments the toolkit would act on (another platform, right to left) and a
# document: none of them may change anything.
printf 'given on the command line' >"$WORK/given.wml"
start_app -platform offscreen -reverse -style windows "$WORK/given.wml"
wait_window "Загрузка..." 20 >/dev/null
# While the splash is up the main window is not shown.
while xdotool search --onlyvisible --name "^Загрузка...\$" >/dev/null 2>&1; do
  xdotool search --onlyvisible --name "^Deckhand v0.2\$" >/dev/null 2>&1 &&
    fail "the main window showed while the splash was still up"
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

# F5 writes the preview page below the starting folder.
focus "Deckhand v0.2"
keys F5
wait_file "$WORK/temp/temp.htm"
[ "$(stat -c %s "$WORK/temp/temp.htm")" -eq $((168 + $(stat -c %s "$WORK/deck.wml"))) ] ||
  fail "preview page size"

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
echo "PASS"
