#!/usr/bin/env bash
# Whole runs of our decoder of compiled decks (wbxml_decode_run) against
# wbxml2xml on the same files, compiled by xml2wbxml -n -v 1.1: a generated
# valid deck of 1 MB and of 3 MB of source, run alternately RUNS times each
# (median CPU time, user + system, from the kernel's accounting of each
# child), and one run of each program on every corpus deck xml2wbxml
# compiles as WML 1.1-1.3 (total CPU time). Prints the figures and the ratios.
# Usage: bench/wbxml-decode.sh BUILD_DIR [RUNS]
set -euo pipefail
BUILD="${1:?usage: $0 BUILD_DIR [RUNS]}"
RUNS="${2:-7}"
DECODE="$BUILD/bench/wbxml_decode_run"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
[ -x "$DECODE" ] || { echo "missing $DECODE: build the wbxml_decode_run target" >&2; exit 1; }
if ! command -v xml2wbxml >/dev/null || ! command -v wbxml2xml >/dev/null; then
  echo "SKIP: needs xml2wbxml and wbxml2xml (libwbxml2-utils)"
  exit 77
fi
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

python3 - "$DECODE" "$WORK" "$RUNS" "$ROOT/../shared/corpus" <<'PY'
import os, statistics, subprocess, sys

decode, work, runs, corpus = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]

def deck(size):
    # A valid deck: cards chained by links, each with formatted text, a list
    # and a field, Cyrillic text (UTF-8).
    parts = ['<?xml version="1.0"?>\n'
             '<!DOCTYPE wml PUBLIC "-//WAPFORUM//DTD WML 1.1//EN" '
             '"http://www.wapforum.org/DTD/wml_1.1.xml">\n<wml>\n']
    total, i = len(parts[0]), 0
    while total < size:
        card = ('<card id="c%d" title="Карточка %d">\n<p align="left">Привет, <b>мир</b>! '
                '&amp; <a href="#c%d">Дальше</a><br/>\n<select name="s%d"><option value="1">One'
                '</option><option value="2">Two</option></select>\n<input name="f%d" '
                'format="*N" maxlength="4"/></p>\n</card>\n') % (i, i, i + 1, i, i)
        parts.append(card)
        total += len(card.encode())
        i += 1
    parts.append('</wml>\n')
    return "".join(parts).encode()

def compile_deck(source, target):
    return subprocess.run(["xml2wbxml", "-n", "-v", "1.1", "-o", target, source],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0 \
        and os.path.exists(target)

def cpu(command):
    with open(os.devnull, "wb") as null:
        process = subprocess.Popen(command, stdout=null, stderr=subprocess.PIPE)
        _, status, usage = os.wait4(process.pid, 0)
        code = os.waitstatus_to_exitcode(status)
        error = process.stderr.read()
        process.stderr.close()
    if code != 0:
        sys.exit("failed (%d): %s\n%s" % (code, " ".join(command), error.decode()))
    return usage.ru_utime + usage.ru_stime

out = os.path.join(work, "out.xml")
ours_cmd = lambda path: [decode, path, out]
theirs_cmd = lambda path: ["wbxml2xml", "-m", "0", "-o", out, path]

print("%-14s %10s %14s %14s %7s" % ("input", "compiled", "ours", "wbxml2xml", "ratio"))
for label, size in (("deck 1 MB", 1 << 20), ("deck 3 MB", 3 << 20)):
    source = os.path.join(work, "deck-%d.wml" % size)
    with open(source, "wb") as f:
        f.write(deck(size))
    compiled = source + "c"
    if not compile_deck(source, compiled):
        sys.exit("xml2wbxml could not compile the generated deck")
    ours, theirs = [], []
    for _ in range(runs):
        ours.append(cpu(ours_cmd(compiled)))
        theirs.append(cpu(theirs_cmd(compiled)))
    a, b = statistics.median(ours), statistics.median(theirs)
    print("%-14s %8.0f kB %11.1f ms %11.1f ms %7.2f" %
          (label, os.path.getsize(compiled) / 1024, a * 1000, b * 1000, a / b))

files = []
for folder, _, names in os.walk(corpus):
    for name in sorted(names):
        if not name.endswith(".wml"):
            continue
        text = open(os.path.join(folder, name), "rb").read()
        text = text.replace(b"&nbsp;", b"&#160;").replace(b"&shy;", b"&#173;")
        source = os.path.join(work, "c%d.wml" % len(files))
        with open(source, "wb") as f:
            f.write(text)
        if not compile_deck(source, source + "c"):
            continue
        # Decks whose public identifier that compiler gives as WML 1.0 (a
        # DOCTYPE it does not know), which our decoder refuses, are left out.
        if subprocess.run(ours_cmd(source + "c"), stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0:
            files.append(source + "c")
if not files:
    print("corpus: SKIP (no corpus at %s)" % corpus)
else:
    ours = sum(cpu(ours_cmd(path)) for path in files)
    theirs = sum(cpu(theirs_cmd(path)) for path in files)
    size = sum(os.path.getsize(path) for path in files)
    print("%-14s %8.0f kB %11.1f ms %11.1f ms %7.2f" %
          ("corpus (%d)" % len(files), size / 1024, ours * 1000, theirs * 1000, ours / theirs))
PY
