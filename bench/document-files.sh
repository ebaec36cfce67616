#!/usr/bin/env bash
# Whole runs of Open and Save of a 10 MB document against `cat file >
# /dev/null` and `cp file copy` of the same file; prints the medians and the
# ratios (goals: Open within 3x of cat, Save within 2x of cp). The timing
# program links Qt Core, whose loading alone costs about 2 ms more than cat's
# start-up; "Open alone" leaves that out.
# Usage: bench/document-files.sh BUILD_DIR [RUNS]
set -euo pipefail
BUILD="${1:?usage: $0 BUILD_DIR [RUNS]}"
RUNS="${2:-21}"
TOOL="$BUILD/bench/document_files_run"
[ -x "$TOOL" ] || { echo "missing $TOOL: build the document_files_run target" >&2; exit 1; }
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
"$TOOL" make "$WORK/deck.wml" $((10 * 1024 * 1024))

python3 - "$TOOL" "$WORK" "$RUNS" <<'PY'
import statistics, subprocess, sys, time

tool, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
deck = f"{work}/deck.wml"

def median_ms(command, **kwargs):
    subprocess.run(command, check=True, **kwargs)  # warm the page cache
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, check=True, **kwargs)
        times.append((time.perf_counter() - start) * 1000)
    return statistics.median(times)

null = subprocess.DEVNULL
start = median_ms([tool, "start"])
cat = median_ms(["cat", deck], stdout=null)
cp = median_ms(["cp", deck, f"{work}/cp.wml"])
open_ = median_ms([tool, "open", deck])
save = median_ms([tool, "save", deck, f"{work}/saved.wml"])
with open(deck, "rb") as a, open(f"{work}/saved.wml", "rb") as b:
    if a.read() != b.read():
        sys.exit("saved file differs from the deck")
print(f"10 MB document, median of {runs} whole runs")
print(f"  start-up of the timing program      {start:8.2f} ms")
print(f"  cat file > /dev/null                {cat:8.2f} ms")
print(f"  Open                                {open_:8.2f} ms   ratio {open_ / cat:5.2f} (goal <= 3)")
print(f"  Open alone (less the start-up)      {open_ - start:8.2f} ms   ratio {(open_ - start) / cat:5.2f}")
print(f"  cp file copy                        {cp:8.2f} ms")
print(f"  Open, then Save                     {save:8.2f} ms   ratio {save / cp:5.2f}")
print(f"  Save alone (less the Open)          {save - open_:8.2f} ms   ratio {(save - open_) / cp:5.2f} (goal <= 2)")
PY
