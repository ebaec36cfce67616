#!/usr/bin/env bash
# Whole runs of deckhand-check against xmllint --nonet --valid --noout on
# the same generated valid decks of 1 MB and 10 MB (the WML 1.1 DTD given to
# xmllint through a catalog), run in pairs; prints the median CPU time
# (user + system, from the kernel's accounting of each child) of each and
# the median of the pairs' ratios; then the same for all the decks of the
# shared corpus in one call of each. Goal: deckhand-check, which also
# compiles and lints the deck, costs at most xmllint's CPU time (ratio <=
# 1.0), and well under it on the corpus.
# With INSTRUCTIONS=N in the environment (and valgrind installed), each
# program also runs N times under callgrind on each deck and the median count
# of instructions is printed: unlike CPU time, it does not depend on the
# machine's load (it varies a little from run to run, as libxml2 seeds its
# hash tables at random).
# Usage: [INSTRUCTIONS=N] bench/deckhand-check.sh BUILD_DIR [RUNS (21)]
set -euo pipefail
BUILD="${1:?usage: $0 BUILD_DIR [RUNS]}"
RUNS="${2:-21}"
CHECK="$BUILD/checker/deckhand-check"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DTD="$ROOT/../shared/corpus/dtd/wml_1.1.xml"
[ -x "$CHECK" ] || { echo "missing $CHECK: build the deckhand-check target" >&2; exit 1; }
if ! command -v xmllint >/dev/null || [ ! -f "$DTD" ]; then
  echo "SKIP: needs xmllint (libxml2-utils) and the reference DTD at $DTD"
  exit 77
fi
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

python3 - "$CHECK" "$WORK" "$RUNS" "$(cd "$(dirname "$DTD")" && pwd)/wml_1.1.xml" <<'PY'
import os, statistics, subprocess, sys

check, work, runs, dtd = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]

catalog = os.path.join(work, "catalog.xml")
with open(catalog, "w") as f:
    f.write('<?xml version="1.0"?>\n<catalog xmlns="urn:oasis:names:tc:entity:xmlns:xml:catalog">'
            '<public publicId="-//WAPFORUM//DTD WML 1.1//EN" uri="file://%s"/></catalog>\n' % dtd)

def deck(size):
    # A valid deck: a template with a way back, then cards chained by links,
    # each with formatted text, a list and a field, Cyrillic text in
    # Windows-1251 (as the benchmarks of bench_wml make it).
    parts = ['<?xml version="1.0" encoding="windows-1251"?>\r\n'
             '<!DOCTYPE wml PUBLIC "-//WAPFORUM//DTD WML 1.1//EN" '
             '"http://www.wapforum.org/DTD/wml_1.1.xml">\r\n'
             '<wml>\r\n<template><do type="prev" label="Назад"><prev/></do></template>\r\n']
    total, i = len(parts[0]), 0
    while total < size:
        card = ('<card id="c%d" title="Карточка %d">\r\n<p align="left">Привет, <b>$(name)</b>! '
                '&amp; <a href="#c%d">Дальше</a><br/>\r\n<select name="s%d"><option value="1">One'
                '</option><option value="2">Two</option></select>\r\n<input name="f%d" '
                'format="*N" maxlength="4"/></p>\r\n</card>\r\n') % (i, i, i + 1, i, i)
        parts.append(card)
        total += len(card.encode("cp1251"))
        i += 1
    parts.append('<card id="c%d"><p><a href="#c0">start</a></p></card>\r\n</wml>\r\n' % i)
    return "".join(parts).encode("cp1251")

def cpu(command, env=None, findings=False):
    # findings: the decks may have faults, and the exit status says so.
    with open(os.devnull, "wb") as null:
        process = subprocess.Popen(command, stdout=null, stderr=subprocess.PIPE, env=env)
        error = process.stderr.read()
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        process.stderr.close()
    if process.returncode != 0 and not (findings and process.returncode in (1, 3, 4)):
        sys.exit("failed (%d): %s\n%s" % (process.returncode, " ".join(command), error.decode()))
    return usage.ru_utime + usage.ru_stime

def instructions(command, env=None):
    result = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null"] +
                            command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    for line in result.stderr.decode().splitlines():
        if "Collected :" in line:
            return int(line.split(":")[-1].strip().replace(",", ""))
    sys.exit("no instruction count from valgrind for " + " ".join(command))

counted = int(os.environ.get("INSTRUCTIONS", "0") or "0")
if counted and subprocess.run(["sh", "-c", "command -v valgrind"],
                              stdout=subprocess.DEVNULL).returncode != 0:
    print("valgrind is not installed: no instruction counts")
    counted = 0

env = dict(os.environ, XML_CATALOG_FILES=catalog)
print("%-6s %16s %16s %7s" % ("deck", "deckhand-check", "xmllint --valid", "ratio"))
for label, size in (("1 MB", 1 << 20), ("10 MB", 10 << 20)):
    path = os.path.join(work, "deck-%d.wml" % size)
    with open(path, "wb") as f:
        f.write(deck(size))
    ours, theirs, ratios = [], [], []
    for i in range(runs):
        # Each pair runs back to back, which of the two first taking turns:
        # the machine's speed, which drifts on a shared machine, is about
        # the same for both, so the ratio is taken pair by pair.
        pair = [lambda: cpu([check, path]),
                lambda: cpu(["xmllint", "--nonet", "--valid", "--noout", path], env)]
        if i % 2:
            b = pair[1]()
            a = pair[0]()
        else:
            a = pair[0]()
            b = pair[1]()
        ours.append(a)
        theirs.append(b)
        ratios.append(a / b)
    a, b = statistics.median(ours), statistics.median(theirs)
    print("%-6s %14.1f ms %14.1f ms %7.2f" % (label, a * 1000, b * 1000, statistics.median(ratios)))

# The whole corpus of real decks in one call of each, where it is at hand.
corpus = os.path.dirname(os.path.dirname(dtd))
decks = sorted(os.path.join(folder, name) for folder, _, names in os.walk(corpus)
               for name in names if name.endswith(".wml"))
if decks:
    ours, theirs, ratios = [], [], []
    for i in range(runs):
        a = cpu([check] + decks, findings=True)
        b = cpu(["xmllint", "--nonet", "--valid", "--noout"] + decks, env, findings=True)
        ours.append(a)
        theirs.append(b)
        ratios.append(a / b)
    a, b = statistics.median(ours), statistics.median(theirs)
    print("%-6s %14.1f ms %14.1f ms %7.2f  (%d decks of the corpus in one call)" %
          ("corpus", a * 1000, b * 1000, statistics.median(ratios), len(decks)))
    if counted:
        ours = statistics.median(instructions([check, path]) for _ in range(counted))
        theirs = statistics.median(
            instructions(["xmllint", "--nonet", "--valid", "--noout", path], env)
            for _ in range(counted))
        print("%-6s %13.1f Mi %13.1f Mi %7.3f  (instructions, median of %d)" %
              (label, ours / 1e6, theirs / 1e6, ours / theirs, counted))
PY
