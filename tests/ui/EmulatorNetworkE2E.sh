#!/usr/bin/env bash
# End to end in a real X server with the test WAP server on a loopback port:
# the emulator sends nothing until "Отправлять запросы в сеть" is turned on
# (Tab, then Space, in the emulator window); then a link of the editor's
# deck fetches the site's start deck and its picture, and the next link a
# deck of the site by its relative address. The server's log of requests is
# the witness.
source "$(dirname "${BASH_SOURCE[0]}")/E2ESupport.sh"

command -v python3 >/dev/null || { echo "SKIP: no python3 for the test server"; exit 77; }
SERVER="$(dirname "${BASH_SOURCE[0]}")/../net/wap_server.py"
for name in http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY; do
  unset "$name"
done

# The server lives while its standard input is open: a FIFO held by fd 4.
mkfifo "$WORK/server-in"
python3 "$SERVER" --lifetime 280 --log "$WORK/requests.log" <"$WORK/server-in" >"$WORK/port" &
exec 4>"$WORK/server-in"
for _ in $(seq 1 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
port=$(head -n 1 "$WORK/port")
[ -n "$port" ] || fail "the test server named no port"
touch "$WORK/requests.log"

printf '<?xml version="1.0"?>\r\n<wml><card id="home"><p><a href="http://127.0.0.1:%s/site/start">site</a></p></card></wml>\r\n' \
  "$port" >"$WORK/home.wml"

start_app
wait_window "Deckhand v0.2" 30 >/dev/null
focus "Deckhand v0.2"
keys ctrl+o
focus "Open"
keys ctrl+a
type_text "$WORK/home.wml"
keys Return
wait_gone "Open"
focus "Deckhand v0.2"
keys F6
emulator=$(wait_window "Эмулятор телефона" 20)
xdotool windowmove --sync "$emulator" 0 0
sleep 1

# Off: the link shows the request the phone would send; nothing reaches the
# server.
focus "Эмулятор телефона"
keys Return
sleep 1.5
[ ! -s "$WORK/requests.log" ] || fail "a request was sent with the network off: $(cat "$WORK/requests.log")"
keys Escape
import -window "$emulator" "$WORK/home.png"

# On: the same link fetches the start deck and the picture of its card.
keys Tab space
sleep 0.5
keys Return
for _ in $(seq 1 100); do grep -q "GET /site/pic.wbmp" "$WORK/requests.log" && break; sleep 0.1; done
grep -q "^GET /site/start$" "$WORK/requests.log" || fail "the start deck was not asked for: $(cat "$WORK/requests.log")"
grep -q "^GET /site/pic.wbmp$" "$WORK/requests.log" || fail "the card's picture was not asked for"
sleep 1
import -window "$emulator" "$WORK/site.png"
if compare -metric AE "$WORK/home.png" "$WORK/site.png" null: 2>"$WORK/diff.txt"; then
  fail "the emulator's screen did not change after the deck came"
fi

# The first link of the start deck, relative to its address.
keys Return
for _ in $(seq 1 100); do grep -q "GET /site/form" "$WORK/requests.log" && break; sleep 0.1; done
grep -q "^GET /site/form?via=link$" "$WORK/requests.log" || fail "the relative link was not followed: $(cat "$WORK/requests.log")"

keys ctrl+w
wait_gone "Эмулятор телефона"
kill -0 "$APP_PID" || fail "the program ended"
exec 4>&-
echo "PASS"
