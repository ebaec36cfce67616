#!/usr/bin/env bash
# Start-up time (program start to main window shown, less the splash's two
# seconds) and resident memory after start-up, against FeatherPad (a Qt
# plain-text editor from Debian) on the same machine, in a private Xvfb.
#   bench/startup.sh BUILD_DIR [RUNS]
set -euo pipefail
build="$(cd "$1" && pwd)"; runs="${2:-5}"
app="$build/ui/deckhand"
command -v featherpad >/dev/null ||
  { echo "featherpad is not installed (see scripts/packages.txt)" >&2; exit 1; }

source "$(dirname "${BASH_SOURCE[0]}")/../scripts/xvfb.sh"
start_xvfb
trap stop_xvfb EXIT

# rss PID: resident kilobytes of the process and all its descendants.
rss() {
  local total=0 p
  for p in $1 $(pgrep -P "$1" 2>/dev/null) $(for c in $(pgrep -P "$1" 2>/dev/null); do pgrep -P "$c"; done); do
    total=$((total + $(awk '/^VmRSS/ {print $2}' "/proc/$p/status" 2>/dev/null || echo 0)))
  done
  echo "$total"
}

# measure NAME TITLE-REGEX COMMAND...: prints "ms rss_self rss_all" per run.
measure() {
  local title="$2"; shift 2
  local work start end pid
  work=$(mktemp -d)
  start=$(date +%s%N)
  (cd "$work" && exec "$@" >/dev/null 2>&1) &
  pid=$!
  until xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; do sleep 0.005; done
  end=$(date +%s%N)
  sleep 3  # let start-up settle before reading memory
  echo "$(( (end - start) / 1000000 )) $(awk '/^VmRSS/ {print $2}' /proc/$pid/status) $(rss $pid)"
  kill "$pid"; wait "$pid" 2>/dev/null || true
  rm -rf "$work"
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

d_ms=(); d_self=(); d_all=(); f_ms=(); f_self=(); f_all=()
for _ in $(seq 1 "$runs"); do
  read -r ms self all < <(measure deckhand '^Deckhand v0.2$' "$app")
  d_ms+=($((ms - 2000))); d_self+=("$self"); d_all+=("$all")
  read -r ms self all < <(measure featherpad '^Untitled$' featherpad --standalone)
  f_ms+=("$ms"); f_self+=("$self"); f_all+=("$all")
done
dm=$(printf '%s\n' "${d_ms[@]}" | median); fm=$(printf '%s\n' "${f_ms[@]}" | median)
ds=$(printf '%s\n' "${d_self[@]}" | median); fs=$(printf '%s\n' "${f_self[@]}" | median)
da=$(printf '%s\n' "${d_all[@]}" | median); fa=$(printf '%s\n' "${f_all[@]}" | median)
echo "start to main window (Deckhand less its 2 s splash): ${dm} ms; FeatherPad: ${fm} ms; ratio $(awk "BEGIN {printf \"%.2f\", $dm / $fm}")"
echo "resident memory, main process: Deckhand ${ds} kB; FeatherPad ${fs} kB; ratio $(awk "BEGIN {printf \"%.2f\", $ds / $fs}")"
echo "resident memory with helper processes (HTML view): Deckhand ${da} kB; FeatherPad ${fa} kB; ratio $(awk "BEGIN {printf \"%.2f\", $da / $fa}")"
