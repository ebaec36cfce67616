#!/usr/bin/env bash
# End to end in a real X server: F6 opens the phone emulator beside the
# editor; choosing a finding puts the editor's caret at its line and column;
# typing there redraws the emulator's screen after the pause. Then a deck
# that doubles a variable at every tick of its timer runs in the emulator
# while the editor holds unsaved text: the program lives on, Ctrl+S in the
# emulator saves the editor's text, Ctrl+W closes the emulator.
source "$(dirname "${BASH_SOURCE[0]}")/E2ESupport.sh"

start_app
wait_window "Deckhand v0.2" 30 >/dev/null
focus "Deckhand v0.2"

keys F6
emulator=$(wait_window "Эмулятор телефона" 20)
# Xvfb has no window manager: put the emulator where the test can see all of it.
xdotool windowmove --sync "$emulator" 0 0
sleep 0.5
import -window "$emulator" "$WORK/before.png"

# The new-document template holds Cyrillic without an encoding declaration:
# the one finding stands at line 6, column 4. Click the first row of the list.
geometry=$(xwininfo -id "$emulator" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w, h}')
read -r width height <<<"$geometry"
[ "$width" -gt 500 ] || fail "emulator window too narrow: $width"
xdotool mousemove --window "$emulator" $((width - 150)) 58 click 1
sleep 0.5

# The caret is now in the editor at 6:4; what is typed lands there.
focus "Deckhand v0.2"
type_text "Z"
sleep 1
import -window "$emulator" "$WORK/after.png"
if compare -metric AE "$WORK/before.png" "$WORK/after.png" null: 2>"$WORK/diff.txt"; then
  fail "the emulator's screen did not change after typing"
fi

keys ctrl+s
focus "Save As"
keys ctrl+a
type_text "$WORK/deck"
keys Return
wait_gone "Save As"
wait_file "$WORK/deck.wml"
line6=$(sed -n 6p "$WORK/deck.wml" | tr -d '\r')
expected=$(printf '<p>Z\xcf\xf0\xe8\xe2\xe5\xf2 \xe2\xf1\xe5\xec!</p>')
[ "$line6" = "$expected" ] || fail "line 6 is '$(printf '%s' "$line6" | xxd | head -n 2)'"

kill -0 "$APP_PID" || fail "the program ended"

printf '<?xml version="1.0"?>\r\n<wml><card id="a" ontimer="#a"><onevent type="onenterforward"><refresh><setvar name="x" value="$(x:n)$(x:n)ab"/></refresh></onevent><timer value="1"/><p>$(x)</p></card></wml>\r\n' \
  >"$WORK/crash.wml"
focus "Deckhand v0.2"
keys ctrl+o
# Whether the saved text still counts as changed is the document's business:
# answer No if asked.
for _ in $(seq 1 50); do
  [ -n "$(visible_window "Open")" ] && break
  if [ -n "$(visible_window "Confirm")" ]; then
    focus "Confirm"
    keys Tab Return
  fi
  sleep 0.1
done
focus "Open"
keys ctrl+a
type_text "$WORK/crash.wml"
keys Return
wait_gone "Open"
focus "Deckhand v0.2"
keys ctrl+End
type_text "<!--unsaved-->"
# Ten seconds of the deck's timer: the variable would be 2^100 bytes long.
sleep 10
kill -0 "$APP_PID" || fail "the program ended while the emulator ran the doubling deck"
focus "Эмулятор телефона"
keys ctrl+s
sleep 1
grep -q -- '<!--unsaved-->' "$WORK/crash.wml" || fail "Ctrl+S in the emulator did not save the editor's text"
focus "Эмулятор телефона"
keys ctrl+w
wait_gone "Эмулятор телефона"
kill -0 "$APP_PID" || fail "the program ended"
echo "PASS"
