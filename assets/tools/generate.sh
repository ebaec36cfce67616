#!/bin/sh
# Redraws every picture in assets/ and checks the results.
# Needs python3-pil, librsvg2-bin and fonts-dejavu-core.
set -eu
here="$(dirname "$0")"
/usr/bin/python3 "$here/toolbar_icons.py"
/usr/bin/python3 "$here/draw_pictures.py"
"$here/make_icons.sh"
