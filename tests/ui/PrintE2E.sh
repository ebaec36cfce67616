#!/usr/bin/env bash
# Printing end to end through a real print system.
#
# A CUPS scheduler of its own runs for this test only: configuration, spool,
# logs and socket in a scratch folder, with a cups-pdf queue as its default
# printer. Nothing of the system's own CUPS set-up is used or changed.
#
#   1. CUPS alone: lp prints a file and cups-pdf writes a PDF.
#   2. The program (when its path is given): the editor's text is printed
#      through the program's real print dialog, opened from the File menu and
#      confirmed with the keyboard. The job holds its pages with the queue
#      stopped: its title is empty and the document the program sent has the
#      editor's text, letter for letter, on several pages; then cups-pdf turns
#      it into a PDF of as many pages. A cancelled dialog prints nothing.
#   3. With the scheduler stopped, a newly started program has no printer:
#      the print command reports "There is no default printer currently
#      selected." in the error box.
#
#   PrintE2E.sh [PROGRAM]     (run-in-xvfb.sh gives DISPLAY and PROGRAM)
#
# Needs root: the cups-pdf backend runs only under a scheduler started as
# root. Exits 77 (which CTest reports as skipped) with "SKIP: reason" only
# when the scheduler cannot run here.
set -euo pipefail
export PATH="$PATH:/usr/sbin:/sbin"

PROGRAM="${1:-}"
QUEUE=DeckhandPDF
PPD=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
BACKEND=/usr/lib/cups/backend/cups-pdf

WORK=""
CUPSD_PID=""
APP_PID=""
CLIP_PID=""
OUT_DIR=""
OUT_DIR_MADE=0
MADE_PDFS=()
NEW_PDF=""

note() { echo "== $*"; }

show_logs() {
  [ -n "$WORK" ] || return 0
  for log in "$WORK/log/error_log" "$WORK/log/cupsd.out" "$WORK/app.log"; do
    [ -s "$log" ] && { echo "--- $log" >&2; tail -n 25 "$log" >&2; }
  done
  return 0
}

fail() {
  echo "FAIL: $*" >&2
  show_logs
  exit 1
}

skip() {
  echo "SKIP: $*"
  exit 77
}

stop_app() {
  if [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; then
    kill "$APP_PID" 2>/dev/null || true
    wait "$APP_PID" 2>/dev/null || true
  fi
  APP_PID=""
}

stop_cupsd() {
  if [ -n "$CUPSD_PID" ] && kill -0 "$CUPSD_PID" 2>/dev/null; then
    kill "$CUPSD_PID" 2>/dev/null || true
    wait "$CUPSD_PID" 2>/dev/null || true
  fi
  CUPSD_PID=""
}

cleanup() {
  stop_app
  if [ -n "$CLIP_PID" ]; then kill "$CLIP_PID" 2>/dev/null || true; fi
  stop_cupsd
  local pdf
  for pdf in "${MADE_PDFS[@]}"; do rm -f "$pdf"; done
  if [ "$OUT_DIR_MADE" = 1 ]; then rmdir "$OUT_DIR" 2>/dev/null || true; fi
  if [ -n "$WORK" ]; then rm -rf "$WORK"; fi
}
trap cleanup EXIT

# --- what the test needs ----------------------------------------------------

for tool in cupsd lpadmin lpstat lp lpq cupsenable cupsdisable pdfinfo pdftotext python3; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (see scripts/packages.txt)"
done
[ -x "$BACKEND" ] || fail "the cups-pdf backend is not installed (printer-driver-cups-pdf)"
[ -f "$PPD" ] || fail "the cups-pdf driver description $PPD is missing"
if [ "$(id -u)" -ne 0 ]; then
  skip "the cups-pdf backend runs only under a CUPS scheduler started as root; this runs as $(id -un)"
fi
if [ -n "$PROGRAM" ]; then
  [ -x "$PROGRAM" ] || fail "no program at '$PROGRAM'"
  PROGRAM="$(realpath "$PROGRAM")"
  for tool in xdotool xclip; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (see scripts/packages.txt)"
  done
  [ -n "${DISPLAY:-}" ] || fail "DISPLAY is not set (run through run-in-xvfb.sh)"
fi

# --- a scheduler of our own -------------------------------------------------

WORK="$(mktemp -d /tmp/deckhand-print.XXXXXX)"
# The filters run as the scheduler's user and must reach the spool below.
chmod 755 "$WORK"
mkdir -p "$WORK"/{etc/ppd,etc/ssl,spool/tmp,cache,state,log,home,run}
chmod 700 "$WORK/run"

cat >"$WORK/etc/cups-files.conf" <<EOF
ServerRoot $WORK/etc
RequestRoot $WORK/spool
TempDir $WORK/spool/tmp
CacheDir $WORK/cache
StateDir $WORK/state
ErrorLog $WORK/log/error_log
AccessLog $WORK/log/access_log
PageLog $WORK/log/page_log
Printcap $WORK/state/printcap
SystemGroup root
User lp
Group lp
EOF
cat >"$WORK/etc/cupsd.conf" <<EOF
Listen $WORK/cups.sock
LogLevel info
Browsing No
WebInterface No
DefaultAuthType None
PreserveJobFiles Yes
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF

# Every CUPS client below, and the program, talks to this scheduler only.
export CUPS_SERVER="$WORK/cups.sock"
export HOME="$WORK/home"
export XDG_RUNTIME_DIR="$WORK/run"
unset LPDEST PRINTER

# On a Debian machine with AppArmor (the default outside containers) the
# profile of /usr/sbin/cupsd, attached by that path, keeps the scheduler and
# the filters it runs to the system's own CUPS folders: in this scratch
# folder cups-pdf's jobs end in "Filter failed". A copy of the scheduler
# started from the scratch folder is not attached to that profile.
CUPSD="$(command -v cupsd)"
if [ -r /sys/kernel/security/apparmor/profiles ] &&
  grep -q "^$(realpath "$CUPSD") (enforce)" /sys/kernel/security/apparmor/profiles; then
  note "AppArmor confines $CUPSD: starting an unconfined copy"
  cp "$CUPSD" "$WORK/cupsd"
  CUPSD="$WORK/cupsd"
fi

note "starting cupsd"
"$CUPSD" -f -c "$WORK/etc/cupsd.conf" -s "$WORK/etc/cups-files.conf" >"$WORK/log/cupsd.out" 2>&1 &
CUPSD_PID=$!
running=0
for _ in $(seq 1 200); do
  if ! kill -0 "$CUPSD_PID" 2>/dev/null; then
    wait "$CUPSD_PID" 2>/dev/null || true
    CUPSD_PID=""
    reason=$(cat "$WORK/log/cupsd.out" "$WORK/log/error_log" 2>/dev/null | grep -v '^D ' | tail -n 3 |
      tr '\n' ' ')
    skip "cupsd cannot run here: it exited at start-up (${reason:-no message})"
  fi
  if lpstat -r 2>/dev/null | grep -q "scheduler is running"; then
    running=1
    break
  fi
  sleep 0.1
done
[ "$running" = 1 ] || fail "cupsd did not answer within 20 s"

lpadmin -p "$QUEUE" -E -v cups-pdf:/ -P "$PPD" 2>"$WORK/log/lpadmin.err" ||
  fail "lpadmin could not add the queue: $(cat "$WORK/log/lpadmin.err")"
lpadmin -d "$QUEUE" || fail "lpadmin could not make $QUEUE the default"
[ "$(lpstat -d)" = "system default destination: $QUEUE" ] || fail "default printer: $(lpstat -d)"

# Where cups-pdf writes: its "Out" setting, for the user the job runs as.
user="$(id -un)"
user_home="$(getent passwd "$user" | cut -d: -f6)"
out_setting="$(sed -n 's/^[[:space:]]*Out[[:space:]]\{1,\}//p' /etc/cups/cups-pdf.conf 2>/dev/null |
  tail -n 1)"
OUT_DIR="${out_setting:-\${HOME\}/PDF}"
OUT_DIR="${OUT_DIR//\$\{HOME\}/$user_home}"
OUT_DIR="${OUT_DIR//\$\{USER\}/$user}"
[ -d "$OUT_DIR" ] || OUT_DIR_MADE=1

# The PDFs in the output folder, one "time inode<TAB>path" line each: cups-pdf
# names a file after the job's title and number, and every scheduler of this
# test numbers from 1, so a file of an earlier run may be written over; its
# new time tells it apart.
pdfs_now() {
  [ -d "$OUT_DIR" ] || return 0
  find "$OUT_DIR" -maxdepth 1 -type f -name '*.pdf' -printf '%T@ %i\t%p\n' | sort
}

# wait_new_pdf BEFORE: waits until no job is left and a PDF not in BEFORE
# has appeared or been written over; sets NEW_PDF to its path.
wait_new_pdf() {
  local before="$1" new=""
  for _ in $(seq 1 600); do
    if [ -z "$(lpstat -o "$QUEUE" 2>/dev/null)" ]; then
      new=$(comm -13 <(printf '%s\n' "$before") <(pdfs_now) | sed '/^$/d' | head -n 1 | cut -f 2-)
      if [ -n "$new" ]; then
        MADE_PDFS+=("$new")
        NEW_PDF="$new"
        return 0
      fi
    fi
    sleep 0.1
  done
  fail "cups-pdf wrote no PDF into $OUT_DIR"
}

pages() { pdfinfo "$1" 2>/dev/null | sed -n 's/^Pages:[[:space:]]*//p'; }

# The job file the scheduler keeps for a job id.
spool_file() { printf '%s/spool/d%05d-001' "$WORK" "$1"; }

# --- 1. CUPS alone ----------------------------------------------------------

note "lp prints a file through cups-pdf"
printf 'Deckhand print check\nsecond line\n' >"$WORK/check.txt"
before="$(pdfs_now)"
request=$(lp -t "" "$WORK/check.txt") || fail "lp failed"
[[ "$request" == *"$QUEUE-"* ]] || fail "lp said: $request"
wait_new_pdf "$before"
[ "$(pages "$NEW_PDF")" -ge 1 ] || fail "the PDF of lp's job has no pages"
note "cups-pdf wrote $NEW_PDF"

if [ -z "$PROGRAM" ]; then
  echo "PASS (CUPS only: no program given)"
  exit 0
fi

# --- 2. the program prints through its print dialog -------------------------

start_app() {
  (cd "$WORK" && exec env QTWEBENGINE_DISABLE_SANDBOX=1 "$PROGRAM" >"$WORK/app.log" 2>&1) &
  APP_PID=$!
}

source "$(dirname "${BASH_SOURCE[0]}")/WindowWait.sh"

wait_gone() {
  for _ in $(seq 1 100); do
    xdotool search --onlyvisible --name . 2>/dev/null | grep -qx "$1" || return 0
    sleep 0.1
  done
  fail "window $1 did not close"
}

# Xvfb has no window manager: windows are focused by hand. A window that has
# just been mapped may refuse the focus for a moment.
focus() {
  for _ in $(seq 1 20); do
    xdotool windowfocus --sync "$1" 2>/dev/null && break
    sleep 0.25
  done
  sleep 0.3
}

keys() {
  xdotool key --delay 80 "$@"
  sleep 0.4
}

# main_window: the id of the main window once it has stayed the same for a
# second (the window can be created anew while the program starts).
main_window() {
  local id last=""
  for _ in $(seq 1 60); do
    id=$(visible_window "Deckhand v0.2")
    if [ -n "$id" ] && [ "$id" = "$last" ]; then
      echo "$id"
      return 0
    fi
    last="$id"
    kill -0 "$APP_PID" 2>/dev/null || fail "the program ended"
    sleep 1
  done
  fail "no steady main window"
}

# from_file_menu DOWNS NAME: opens the File menu ("&Файл", the first of the
# menu bar) of the main window with a click, moves DOWNS items down
# ("&Настройка печати..." is the 5th item, "&Печать WML кода..." the 6th;
# separators are skipped), picks it and prints the id of the window titled
# NAME that it opens. Input sent while a window is still settling can get
# lost, so the menu is tried again (after Escape) a few times.
from_file_menu() {
  local downs="$1" name="$2" main id="" geometry X Y WIDTH HEIGHT WINDOW SCREEN i
  for _ in 1 2 3 4; do
    main=$(main_window)
    focus "$main"
    geometry=$(xdotool getwindowgeometry --shell "$main" 2>/dev/null) || continue
    eval "$geometry"
    xdotool mousemove $((X + 22)) $((Y + 10)) click 1
    sleep 0.6
    for ((i = 0; i < downs; i++)); do keys Down; done
    keys Return
    for _ in $(seq 1 50); do
      id=$(visible_window "$name")
      [ -n "$id" ] && break 2
      kill -0 "$APP_PID" 2>/dev/null || fail "the program ended"
      sleep 0.1
    done
    keys Escape Escape
  done
  [ -n "$id" ] || fail "item $downs of the File menu opened no window '$name'"
  echo "$id"
}

# The text of a message box: its label is selectable with the mouse, and a
# selection made by dragging lands in the X primary selection. Dragging from
# a point of the text to beyond either end gives the two halves. Before each
# drag the primary selection is set to a marker, so a drag that selected
# nothing is told apart from one that did.
message_text() {
  local id="$1" X Y WIDTH HEIGHT WINDOW SCREEN x y left right last="" now
  # A box is placed over its parent after it shows: wait until it stays put.
  for _ in $(seq 1 20); do
    sleep 0.3
    now=$(xdotool getwindowgeometry --shell "$id")
    [ "$now" = "$last" ] && break
    last="$now"
  done
  eval "$now"
  drag() {
    # A click first clears the label's selection, so the press does not drag
    # the selected text away; the pause keeps it from becoming a double click.
    xdotool mousemove "$1" "$2" click 1
    sleep 0.6
    printf '<none>' | xclip -selection primary -i >/dev/null 2>&1
    xdotool mousemove "$1" "$2" mousedown 1 mousemove $((($1 + $3) / 2)) "$2" mousemove "$3" "$2" \
      mouseup 1
    sleep 0.3
    xclip -o -selection primary 2>/dev/null || true
  }
  x=$((X + WIDTH / 2))
  # The label stands in the upper half; the buttons are below it.
  for y in $(seq $((Y + 6)) 3 $((Y + HEIGHT / 2))); do
    right=$(drag "$x" "$y" $((X + WIDTH + 40)))
    [ -n "$right" ] && [ "$right" != "<none>" ] || continue
    left=$(drag "$x" "$y" $((X - 40)))
    [ "$left" != "<none>" ] || left=""
    printf '%s%s' "$left" "$right"
    return 0
  done
  return 1
}

# The editor's text: long enough for several pages, Cyrillic, and one line
# far wider than the page.
python3 - "$WORK/text.txt" <<'EOF'
import sys
lines = ['<?xml version="1.0"?>', '<wml>', '<card id="print" title="Печать">']
lines += ['<p>Строка %03d: печать WML кода, ёлка и ЁЖ.</p>' % i for i in range(1, 151)]
lines.append('<p>' + ' '.join('слово%d' % i for i in range(1, 121)) + '</p>')
lines += ['</card>', '</wml>']
with open(sys.argv[1], 'w', encoding='utf-8', newline='') as out:
    out.write('\r\n'.join(lines))
EOF

note "starting the program"
start_app
wait_window "Deckhand v0.2" 60 >/dev/null
main=$(main_window)
focus "$main"

# Replace the editor's text through the clipboard: the focus starts on
# "Показать", Tab moves it to the editor.
xclip -selection clipboard -quiet -i "$WORK/text.txt" >/dev/null 2>&1 &
CLIP_PID=$!
sleep 0.5
keys Tab ctrl+a ctrl+v
kill "$CLIP_PID" 2>/dev/null || true
wait "$CLIP_PID" 2>/dev/null || true
CLIP_PID=""

note "print dialog cancelled: nothing is printed"
completed_before=$(lpstat -W completed -o "$QUEUE" 2>/dev/null | wc -l)
dialog=$(from_file_menu 6 Print)
focus "$dialog"
keys Escape
wait_gone "$dialog"
sleep 2
[ -z "$(lpstat -o "$QUEUE" 2>/dev/null)" ] || fail "a cancelled print dialog sent a job"
[ "$(lpstat -W completed -o "$QUEUE" 2>/dev/null | wc -l)" = "$completed_before" ] ||
  fail "a cancelled print dialog printed"

note "print dialog confirmed: one job with the editor's text"
# Hold the job in the queue to look at it before it prints.
cupsdisable "$QUEUE"
dialog=$(from_file_menu 6 Print)
focus "$dialog"
keys Return
wait_gone "$dialog"

job=""
for _ in $(seq 1 300); do
  job=$(lpstat -o "$QUEUE" 2>/dev/null | sed -n "s/^$QUEUE-\([0-9]\{1,\}\) .*/\1/p" | head -n 1)
  [ -n "$job" ] && break
  sleep 0.1
done
[ -n "$job" ] || fail "the program sent no job"
[ "$(lpstat -o "$QUEUE" | wc -l)" = 1 ] || fail "more than one job: $(lpstat -o "$QUEUE")"

# lpq -l shows each job as a "[job N ...]" line followed by a line with the
# job's name (empty here), its copies when more than one, and its size.
listing=$(lpq -l -P "$QUEUE")
name_line=$(printf '%s\n' "$listing" | grep -A1 "\[job $job " | tail -n 1)
[[ "$name_line" =~ ^[[:space:]]*[0-9]+\ bytes[[:space:]]*$ ]] ||
  fail "the job's title is not empty: '$name_line' in: $listing"

sent=$(spool_file "$job")
for _ in $(seq 1 100); do
  [ -s "$sent" ] && break
  sleep 0.1
done
[ -s "$sent" ] || fail "the scheduler holds no document for job $job"
sent_pages=$(pages "$sent")
[ "${sent_pages:-0}" -ge 2 ] || fail "the program sent ${sent_pages:-no} pages, expected several"
title=$(pdfinfo "$sent" | sed -n 's/^Title:[[:space:]]*//p')
[ -z "$title" ] || fail "the document's title is '$title'"
pdftotext -raw "$sent" "$WORK/sent.txt"
python3 - "$WORK/text.txt" "$WORK/sent.txt" <<'EOF' || fail "the printed text differs from the editor's"
import sys, unicodedata
def letters(path):
    text = open(path, encoding='utf-8').read()
    return ''.join(unicodedata.normalize('NFKC', text).split())
expected, printed = letters(sys.argv[1]), letters(sys.argv[2])
if expected != printed:
    at = next((i for i, (a, b) in enumerate(zip(expected, printed)) if a != b),
              min(len(expected), len(printed)))
    print('expected ...%s...\nprinted  ...%s...' % (expected[at - 20:at + 40], printed[at - 20:at + 40]))
    sys.exit(1)
EOF

before="$(pdfs_now)"
cupsenable "$QUEUE"
wait_new_pdf "$before"
[ "$(pages "$NEW_PDF")" = "$sent_pages" ] ||
  fail "cups-pdf made $(pages "$NEW_PDF") pages of $sent_pages"
note "the program's job came out as $NEW_PDF, $sent_pages pages"
stop_app
# The windows of the program that ended must be gone before the next one
# is looked for.
for _ in $(seq 1 100); do
  [ -z "$(visible_window "Deckhand v0.2")" ] && break
  sleep 0.1
done

# --- 3. no printer ------------------------------------------------------------

note "no scheduler, no default printer: the error box"
stop_cupsd
# The program ended by SIGTERM kept its unsaved text for the next start to
# offer; this start is about printing, so that copy is dropped first.
rm -rf "${XDG_STATE_HOME:-$HOME/.local/state}/deckhand"
start_app
wait_window "Deckhand v0.2" 60 >/dev/null
# Print, then printer set-up.
for item in 6 5; do
  box=$(from_file_menu "$item" Deckhand)
  text=$(message_text "$box") || fail "could not read the error box"
  [ "$text" = "There is no default printer currently selected." ] ||
    fail "the error box says '$text'"
  focus "$box"
  keys Return
  wait_gone "$box"
  xdotool search --onlyvisible --name '^Print$' >/dev/null 2>&1 && fail "a dialog opened anyway"
done
stop_app

echo "PASS"
