#!/bin/bash
# Compiling the 5,000-line script of bench_wmlscript: Deckhand's compiler
# (Google Benchmark, per compilation) against Kannel's wmlsc (whole runs of
# the program, best of five), when wmlsc can be found or unpacked.
# Usage: bench/wmlscript.sh [BUILD_FOLDER]
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
DECKHAND_WMLSCRIPT_BENCH_SOURCE="$work/long.wmls" "$BUILD/bench/bench_wmlscript" \
  --benchmark_filter=BM_Compile5000Lines 2>/dev/null | grep BM_
kannel="$BUILD/tests/wmlscript/kannel"
sh "$ROOT/tests/wmlscript/fetch-kannel.sh" "$kannel" >/dev/null 2>&1
if ! "$kannel/bin/wmlsc" -h >/dev/null 2>&1; then
  echo "SKIP: Kannel's wmlsc is not available"
  exit 0
fi
best=""
for _ in 1 2 3 4 5; do
  start=$(date +%s%N)
  (cd "$work" && "$kannel/bin/wmlsc" long.wmls) || { echo "wmlsc failed"; exit 1; }
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
done
echo "wmlsc, whole run: ${best} ms; unit $(stat -c %s "$work/long.wmlsc") bytes"
