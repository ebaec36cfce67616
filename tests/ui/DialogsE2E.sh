#!/usr/bin/env bash
# End to end in a real X server: Ctrl+K opens the link dialog, the fields are
# filled from the keyboard, "Создать" inserts the link, the document is saved
# and its bytes checked; F7 opens the check dialog and runs the check.
source "$(dirname "${BASH_SOURCE[0]}")/E2ESupport.sh"

start_app
wait_window "Deckhand v0.2" 40 >/dev/null
focus "Deckhand v0.2"
keys Tab ctrl+End

# The link dialog: the focus starts on "Создать"; three Tabs reach the
# address field, one more the text field, and one more comes back round.
keys ctrl+k
focus "Создать ссылку"
keys Tab Tab Tab
type_text "#card2"
keys Tab
type_text "Далее"
keys Tab Return
wait_gone "Создать ссылку"

focus "Deckhand v0.2"
keys ctrl+s
focus "Save As"
keys ctrl+a
type_text "$WORK/links.wml"
keys Return
wait_gone "Save As"
wait_file "$WORK/links.wml"
link=$(tail -c 26 "$WORK/links.wml" | xxd -p | tr -d '\n')
# <a href="#card2">Далее</a> with "Далее" in Windows-1251.
expected=$(printf '<a href="#card2">\xc4\xe0\xeb\xe5\xe5</a>' | xxd -p | tr -d '\n')
[ "$link" = "$expected" ] || fail "inserted link bytes: $link"

# The check dialog: "Закрыть" has the focus, Tab reaches "Выполнить
# проверку"; Escape does nothing, Shift+Tab and Enter close it.
focus "Deckhand v0.2"
keys F7
focus "Проверка WML кода на ошибки"
keys Tab space
sleep 0.5
keys Escape
xdotool search --onlyvisible --name "^Проверка WML кода на ошибки\$" >/dev/null ||
  fail "Escape closed the check dialog"
focus "Проверка WML кода на ошибки"
keys shift+Tab Return
wait_gone "Проверка WML кода на ошибки"

# The document was saved and not changed since: closing asks, No ends.
focus "Deckhand v0.2"
keys alt+F4
focus "Confirm"
keys Tab Return
wait_exit
echo "PASS"
