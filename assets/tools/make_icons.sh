#!/bin/sh
# Renders the application icon PNGs from deckhand.svg.
# Needs rsvg-convert (Debian: librsvg2-bin).
set -eu
cd "$(dirname "$0")/.."
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" --output "deckhand-$size.png" deckhand.svg
done
echo "rendered deckhand-16.png ... deckhand-256.png"
