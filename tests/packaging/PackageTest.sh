#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks it the way a
# distribution would: lintian reports no error, the desktop entry and the
# AppStream metainfo validate, the package unpacks with the files it promises,
# and the unpacked program starts in Xvfb, shows its main window and finds
# its user guide at the installed place when F1 is pressed.
#   PackageTest.sh BUILD_DIR
# Exits 77 (skipped) when a tool is missing, after running the checks that
# the tools present allow; the reasons are printed.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT_SRC="$(cd "$HERE/../.." && pwd)"

source "$HERE/../ui/E2ESupport.sh" ""
skipped=()
# have TOOL PACKAGE: true when TOOL is on the PATH, else notes the skip.
have() {
  command -v "$1" >/dev/null 2>&1 && return 0
  skipped+=("$1 is missing (Debian package $2)")
  return 1
}
have cpack cmake && have dpkg-deb dpkg || {
  echo "SKIPPED: ${skipped[*]}"; exit 77; }

# The package, made into a scratch folder so that build/package is left alone.
(cd "$BUILD" && cpack -G DEB -B "$WORK/cpack" >"$WORK/cpack.log" 2>&1) ||
  { cat "$WORK/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$WORK"/cpack/deckhand_*_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "cpack made no deckhand_<version>_<arch>.deb"
version=$(sed -n 's/^ *project(Deckhand VERSION \([0-9.]*\).*/\1/p' "$ROOT_SRC/CMakeLists.txt")
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "deckhand_${version}_${arch}.deb" ] || fail "package named $(basename "$deb")"
echo "built $(basename "$deb")"

# Control fields: dependencies computed from the binary plus the hand-off and
# the fonts.
control="$(dpkg-deb -f "$deb")"
grep -q '^Depends:.*xdg-utils' <<<"$control" || fail "Depends lacks xdg-utils: $control"
grep -q '^Depends:.*libqt6widgets6' <<<"$control" || fail "Depends not computed from the binary"
grep -q '^Recommends: fonts-wine$' <<<"$control" || fail "Recommends is not fonts-wine"
grep -q "^Version: ${version}\$" <<<"$control" || fail "Version is not ${version}"

# Contents.
root="$WORK/root"
dpkg-deb -x "$deb" "$root"
expected=(
  usr/bin/deckhand
  usr/share/applications/deckhand.desktop
  usr/share/metainfo/org.example.deckhand.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/deckhand.svg
  usr/share/deckhand/guide/index.html
  usr/share/doc/deckhand/copyright
  usr/share/doc/deckhand/changelog.gz
  usr/share/man/man1/deckhand.1.gz
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/deckhand.png")
done
for file in "${expected[@]}"; do
  [ -f "$root/$file" ] || fail "the package lacks /$file"
done
[ -x "$root/usr/bin/deckhand" ] || fail "/usr/bin/deckhand is not executable"
for size in 16 22 24 32 48 64 128 256; do
  dims=$(od -An -tu1 -j16 -N8 "$root/usr/share/icons/hicolor/${size}x${size}/apps/deckhand.png" |
    awk '{print $3*256+$4 "x" $7*256+$8}')
  [ "$dims" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $dims"
done
# Every picture the guide shows is in the package.
for image in $(grep -o 'src="images/[^"]*"' "$root/usr/share/deckhand/guide/index.html" | cut -d'"' -f2); do
  [ -f "$root/usr/share/deckhand/guide/$image" ] || fail "the guide shows $image, which is not packaged"
done
head -n 1 "$root/usr/share/doc/deckhand/copyright" |
  grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' ||
  fail "the copyright file is not machine-readable"
echo "contents ok: ${#expected[@]} files checked"

if have lintian lintian; then
  # Fails on any error tag; warnings and notes are printed.
  status=0
  lintian --fail-on error "$deb" >"$WORK/lintian.log" 2>&1 || status=$?
  grep -v 'running with root privileges' "$WORK/lintian.log" || true
  [ "$status" -eq 0 ] || fail "lintian reports errors"
  echo "lintian: no errors ($(grep -c '^[WI]:' "$WORK/lintian.log" || true) warnings and notes)"
fi
if have desktop-file-validate desktop-file-utils; then
  desktop-file-validate "$root/usr/share/applications/deckhand.desktop" ||
    fail "desktop-file-validate rejects the desktop entry"
  echo "desktop entry valid"
fi
if have appstreamcli appstream; then
  appstreamcli validate --no-net "$root/usr/share/metainfo/org.example.deckhand.metainfo.xml" ||
    fail "appstreamcli rejects the metainfo"
  meta="$root/usr/share/metainfo/org.example.deckhand.metainfo.xml"
  grep -q '<summary xml:lang="ru">' "$meta" || fail "the metainfo has no Russian summary"
  grep -q '<screenshot' "$meta" || fail "the metainfo has no screenshot"
fi

# The unpacked program starts and shows its main window; F1 hands the guide
# at the unpacked place to the desktop.
if have Xvfb xvfb && have xdotool xdotool; then
  source "$ROOT_SRC/scripts/xvfb.sh"
  start_xvfb
  trap 'cleanup; stop_xvfb' EXIT
  mkdir -p "$WORK/tools" "$WORK/cwd"
  printf '#!/bin/sh\nprintf "%%s\\n" "$@" > "%s.tmp" && mv "%s.tmp" "%s"\n' \
    "$WORK/record" "$WORK/record" "$WORK/record" >"$WORK/tools/xdg-open"
  chmod +x "$WORK/tools/xdg-open"
  export PATH="$WORK/tools:$PATH"
  APP="$root/usr/bin/deckhand"
  (cd "$WORK/cwd" && exec "$APP" >"$WORK/app.log" 2>&1) &
  APP_PID=$!
  wait_window "Deckhand v0.2" 60 >/dev/null
  echo "the unpacked program shows its main window"
  focus "Deckhand v0.2"
  keys F1
  wait_file "$WORK/record"
  [ "$(cat "$WORK/record")" = "$root/usr/share/deckhand/guide/index.html" ] ||
    fail "F1 handed over '$(cat "$WORK/record")', not the unpacked guide"
  echo "F1 opens the unpacked guide"
fi

if ((${#skipped[@]})); then
  printf 'SKIPPED: %s\n' "${skipped[@]}"
  exit 77
fi
echo "PASS"
