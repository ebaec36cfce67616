#!/usr/bin/env bash
# Writes broken JPEG seeds for the decoder's fuzzer into the folder $1, made
# from the program's own small pictures: whole ones, truncated ones, ones
# with a wrong marker and ones whose header claims a huge picture.
set -euo pipefail
out="$1"
assets="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../assets" && pwd)"
mkdir -p "$out"

# Copies $1 to $4 with the bytes $3 (printf escapes) written at offset $2.
patched() {
  cp "$1" "$4"
  printf "$3" | dd of="$4" bs=1 seek="$2" conv=notrunc status=none
}

# Offset of the first marker FF $2 (two hex digits) in file $1.
marker() {
  LC_ALL=C grep -obUaP "\\xFF\\x$2" "$1" | head -n 1 | cut -d: -f1
}

for name in about-band about-right; do
  source="$assets/$name.jpg"
  size=$(stat -c %s "$source")
  sof=$(marker "$source" C0)
  cp "$source" "$out/$name.jpg"
  head -c $((size / 2)) "$source" >"$out/$name-half.jpg"
  head -c $((sof + 4)) "$source" >"$out/$name-cut-in-frame.jpg"
  head -c $((size - 2)) "$source" >"$out/$name-no-end.jpg"
  # Wrong markers: a second start of image, a progressive frame over
  # baseline data, an unknown marker where the frame should be.
  patched "$source" 2 '\xFF\xD8' "$out/$name-double-soi.jpg"
  patched "$source" "$sof" '\xFF\xC2' "$out/$name-progressive.jpg"
  patched "$source" "$sof" '\xFF\x01' "$out/$name-bad-marker.jpg"
  # Height and width follow the length (2 bytes) and precision (1 byte).
  patched "$source" $((sof + 5)) '\xFF\xFF\xFF\xFF' "$out/$name-huge.jpg"
  patched "$source" $((sof + 5)) '\x00\x00\x00\x00' "$out/$name-empty.jpg"
  patched "$source" $((sof + 5)) '\x02\x00\x02\x00' "$out/$name-large.jpg"
done
