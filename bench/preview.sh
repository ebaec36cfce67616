#!/usr/bin/env bash
# The preview of a 1 MB document (compose and write the page) against cp of
# a file of the same size, as a ratio (goal: at most 2), and the time until
# the HTML view reports a 1 MB page loaded, in a private Xvfb as a user's
# window would show it (previews after the first, which starts the engine).
#   bench/preview.sh BUILD_DIR
set -euo pipefail
build="$1"
bench="$build/bench/bench_preview"
[ -x "$bench" ] || { echo "no $bench: build the bench_preview target" >&2; exit 1; }
work="$(mktemp -d)"
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/xvfb.sh"
start_xvfb
trap 'stop_xvfb; rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

"$bench" --benchmark_filter='BM_PreviewWrite|BM_CopyFile|BM_ViewLoad' \
  --benchmark_out="$work/preview.json" --benchmark_out_format=json >/dev/null 2>"$work/log" \
  || { cat "$work/log" >&2; exit 1; }

# cp itself, whole runs of the command on a 1 MB file.
head -c 1048576 /dev/urandom >"$work/source"
runs=200
start=$(date +%s%N)
for _ in $(seq "$runs"); do cp "$work/source" "$work/target"; done
end=$(date +%s%N)

python3 - "$work/preview.json" "$(( (end - start) / runs ))" <<'PY'
import json, sys
# Names carry suffixes such as "/iterations:10/manual_time".
runs = {b["name"].split("/")[0]: b for b in json.load(open(sys.argv[1]))["benchmarks"]}
def us(name):
    b = runs[name]
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b["time_unit"]]
    return b["real_time"] * scale
preview, copy = us("BM_PreviewWrite"), us("BM_CopyFile")
cp_command = int(sys.argv[2]) / 1000.0
print(f"preview of 1 MB (compose + write): {preview:9.1f} us")
print(f"copy of 1 MB as cp does it:        {copy:9.1f} us   ratio {preview / copy:.2f} (goal <= 2)")
print(f"cp command on 1 MB (whole run):    {cp_command:9.1f} us   ratio {preview / cp_command:.2f}")
if "BM_ViewLoad" in runs and not runs["BM_ViewLoad"].get("error_occurred"):
    print(f"1 MB page until loadFinished:      {us('BM_ViewLoad') / 1000:9.1f} ms")
else:
    print("1 MB page until loadFinished: not measured (the view did not load)")
PY
