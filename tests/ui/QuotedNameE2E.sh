#!/usr/bin/env bash
# End to end in a real X server: a name typed with quotes into the save
# dialog (legal in a file name) saves a file of exactly that name, with
# ".wml" appended, and leaves every other file of the folder untouched; in
# particular "notes.wml", which the quotes would name if they were read as
# the dialog's syntax for several files.
source "$(dirname "${BASH_SOURCE[0]}")/E2ESupport.sh"

mkdir "$WORK/files"
printf 'the notes, not to be overwritten\r\n' >"$WORK/files/notes.wml"
printf 'draft\r\n' >"$WORK/files/draft.wml"
printf 'v2\r\n' >"$WORK/files/v2.wml"
printf 'plain notes\r\n' >"$WORK/files/notes"
snapshot() { (cd "$WORK/files" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
before=$(snapshot)

start_app
wait_window "Deckhand v0.2" 40 >/dev/null
focus "Deckhand v0.2"
keys Tab ctrl+End
type_text "<!-- quoted -->"

keys ctrl+s
focus "Save As"
keys ctrl+a
type_text "$WORK/files/draft \"notes\" v2"
keys Return
wait_gone "Save As"
name="$WORK/files/draft \"notes\" v2.wml"
wait_file "$name"
tail -c 15 "$name" | grep -q -- '<!-- quoted -->' || fail "the new file does not hold the text"

# Only the new file appeared, and every other file is as it was.
after=$(snapshot | grep -v -F './draft "notes" v2.wml')
[ "$after" = "$before" ] || fail "other files changed: $(diff <(echo "$before") <(echo "$after"))"
count=$(find "$WORK/files" -type f | wc -l)
[ "$count" -eq 5 ] || fail "expected 5 files, found $count: $(ls "$WORK/files")"

focus "Deckhand v0.2"
keys alt+F4
focus "Confirm"
keys Tab Return
wait_exit
echo "PASS"
