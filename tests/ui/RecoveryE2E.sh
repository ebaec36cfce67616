#!/usr/bin/env bash
# End to end in a real X server: unsaved text survives a SIGKILL. Type into
# the editor, wait for the recovery file in the state folder (written every
# 30 seconds while there are unsaved changes), kill the program with
# SIGKILL, start it again, answer Yes to "Восстановить несохранённый
# текст?", and save: the file holds the text typed before the kill. Saving
# removes the new run's recovery file; a start without one asks nothing;
# SIGTERM keeps the unsaved text at once.
source "$(dirname "${BASH_SOURCE[0]}")/E2ESupport.sh"

export XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export XDG_STATE_HOME="$WORK/state"
state="$XDG_STATE_HOME/deckhand"

# main_window: waits for the splash to give way to the main window.
main_window() {
  wait_window "Deckhand v0.2" 30 >/dev/null
  focus "Deckhand v0.2"
}

start_app
main_window
keys Tab ctrl+End
type_text "<p>kept</p>"

# The copy is written within 30 seconds of the change (given some slack for
# a busy machine).
recovery="$state/recovery-$APP_PID.wml"
for _ in $(seq 1 600); do
  [ -s "$recovery" ] && grep -q '<p>kept</p>' "$recovery" && break
  sleep 0.1
done
grep -q '<p>kept</p>' "$recovery" 2>/dev/null || fail "no recovery file with the typed text"
[ "$(stat -c %a "$recovery")" = 600 ] || fail "recovery file mode $(stat -c %a "$recovery")"
[ "$(stat -c %a "$state")" = 700 ] || fail "state folder mode $(stat -c %a "$state")"
# Nothing in the working folder: the copy is never put beside a document.
if find "$WORK" -path "$XDG_STATE_HOME" -prune -o -name 'recovery-*' -print | grep -q .; then
  fail "a recovery file outside the state folder"
fi

kill -KILL "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=""
[ -s "$recovery" ] || fail "the recovery file did not survive the kill"

# The next start offers the text; Enter answers the default, Yes.
start_app
wait_window "Deckhand" 40 >/dev/null
focus "Deckhand"
keys Return
wait_gone "Deckhand"
[ ! -e "$recovery" ] || fail "the recovered file is still there after Yes"

# The recovered text is unsaved work: Save asks for a name and writes it.
main_window
keys ctrl+s
focus "Save As"
keys ctrl+a
type_text "$WORK/deck"
keys Return
wait_gone "Save As"
wait_file "$WORK/deck.wml"
expected="$WORK/expected.wml"
printf '<?xml version="1.0"?>\r\n<!DOCTYPE wml PUBLIC "-//WAPFORUM//DTD WML 1.1//EN" "http://www.wapforum.org/DTD/wml_1.1.xml">\r\n<wml>\r\n\r\n<card id="card1" title="MainPage">\r\n<p>\xcf\xf0\xe8\xe2\xe5\xf2 \xe2\xf1\xe5\xec!</p>\r\n</card>\r\n\r\n</wml>\r\n<p>kept</p>' >"$expected"
cmp "$expected" "$WORK/deck.wml" || fail "saved bytes differ: $(xxd "$WORK/deck.wml" | tail -n 3)"
[ ! -e "$state/recovery-$APP_PID.wml" ] || fail "Save left the recovery file"

# Closed, answering No to the close query (saving leaves the document
# marked as changed): nothing left over, and the next start asks nothing.
focus "Deckhand v0.2"
keys alt+F4
focus "Confirm"
keys alt+n
wait_exit
[ -z "$(ls -A "$state")" ] || fail "files left in the state folder: $(ls -A "$state")"
start_app
main_window
sleep 1
[ -z "$(visible_window "Deckhand")" ] || fail "a question at a start without a recovery file"

# SIGTERM (the system ending the program) writes the unsaved text at once,
# asks nothing and ends the program.
focus "Deckhand v0.2"
keys Tab ctrl+End
type_text "<p>term</p>"
pid=$APP_PID
kill -TERM "$APP_PID"
wait_exit
grep -q '<p>term</p>' "$state/recovery-$pid.wml" 2>/dev/null ||
  fail "SIGTERM did not keep the unsaved text"
echo "PASS"
