#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks it the way a
# distribution would: lintian --pedantic reports nothing but what the
# package's overrides file names with its reason, the maintainer scripts run
# no ldconfig, the desktop entry and the AppStream metainfo validate (the
# metainfo names no address that does not exist), the package unpacks with
# the files it promises (a manual page for each program), and the unpacked
# program starts in Xvfb, shows its main window, finds its user guide at the
# installed place when F1 is pressed and writes nothing into its home folder.
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
depends="$(dpkg-deb -f "$deb" Depends)"
# The fonts the layout was measured with and the toolkit's translations are
# needed, not recommended.
for package in xdg-utils fonts-wine qt6-translations-l10n libqt6widgets6; do
  grep -Eq "(^|, )$package( |,|\$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done
# Recommended only: the system's certificate authorities, for the
# emulator's https: requests (off unless the user turns the network on).
[ "$(dpkg-deb -f "$deb" Recommends)" = "ca-certificates" ] ||
  fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"
# No placeholder web site in the control file.
[ -z "$(dpkg-deb -f "$deb" Homepage)" ] || fail "Homepage: $(dpkg-deb -f "$deb" Homepage)"
grep -q "^Version: ${version}\$" <<<"$control" || fail "Version is not ${version}"

# Contents.
root="$WORK/root"
dpkg-deb -x "$deb" "$root"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
expected=(
  usr/bin/deckhand
  usr/bin/deckhand-check
  "usr/lib/$multiarch/deckhand/libdeckhand_webbrowser.so"
  usr/share/applications/deckhand.desktop
  usr/share/metainfo/org.example.deckhand.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/deckhand.svg
  usr/share/deckhand/guide/index.html
  usr/share/deckhand/guide/conformance.md
  usr/share/doc/deckhand/copyright
  usr/share/doc/deckhand/changelog.gz
  usr/share/man/man1/deckhand.1.gz
  usr/share/man/man1/deckhand-check.1.gz
  usr/share/lintian/overrides/deckhand
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/deckhand.png")
done
for file in "${expected[@]}"; do
  [ -f "$root/$file" ] || fail "the package lacks /$file"
done
[ -x "$root/usr/bin/deckhand" ] || fail "/usr/bin/deckhand is not executable"
[ -x "$root/usr/bin/deckhand-check" ] || fail "/usr/bin/deckhand-check is not executable"
# The module is private: no maintainer script, hence no ldconfig call.
mkdir -p "$WORK/control"
dpkg-deb -e "$deb" "$WORK/control"
for script in preinst postinst prerm postrm; do
  [ ! -e "$WORK/control/$script" ] || fail "the package has a $script: $(cat "$WORK/control/$script")"
done
# Each manual page is well-formed for man (no warnings from groff).
if command -v man >/dev/null 2>&1; then
  for page in deckhand deckhand-check; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l \
      "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null || true)
    [ -z "$warnings" ] || fail "man warns about $page.1: $warnings"
  done
fi
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
  # Every tag of --pedantic counts, down to the pedantic ones, except those
  # that the package's lintian overrides name with their reason (shown as
  # "O:" and left out here).
  lintian --pedantic --display-info --show-overrides "$deb" >"$WORK/lintian.log" 2>&1 || true
  grep -v 'running with root privileges' "$WORK/lintian.log" || true
  if grep -q '^[EWIPX]: ' "$WORK/lintian.log"; then
    fail "lintian --pedantic reports tags that are not overridden"
  fi
  echo "lintian --pedantic: clean ($(grep -c '^O: ' "$WORK/lintian.log" || true) overridden with reasons)"
fi
if have desktop-file-validate desktop-file-utils; then
  desktop-file-validate "$root/usr/share/applications/deckhand.desktop" ||
    fail "desktop-file-validate rejects the desktop entry"
  echo "desktop entry valid"
fi
if have appstreamcli appstream; then
  meta="$root/usr/share/metainfo/org.example.deckhand.metainfo.xml"
  # Without --no-net: the addresses it names would be fetched. It names none
  # of the placeholder host, which does not exist.
  appstreamcli validate --pedantic "$meta" || fail "appstreamcli rejects the metainfo"
  grep -q '<summary xml:lang="ru">' "$meta" || fail "the metainfo has no Russian summary"
  if grep -n 'example\.org' "$meta"; then fail "the metainfo names a placeholder address"; fi
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
  # A home folder of its own, to see what the program writes there.
  mkdir -p "$WORK/home"
  (cd "$WORK/cwd" && LANG=C.UTF-8 LC_ALL= HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" \
    XDG_DATA_HOME="$WORK/home/.local/share" XDG_CACHE_HOME="$WORK/home/.cache" \
    XDG_STATE_HOME="$WORK/home/.local/state" exec "$APP" >"$WORK/app.log" 2>&1) &
  APP_PID=$!
  wait_window "Deckhand v0.2" 60 >/dev/null
  echo "the unpacked program shows its main window"
  focus "Deckhand v0.2"
  keys F1
  wait_file "$WORK/record"
  [ "$(cat "$WORK/record")" = "$root/usr/share/deckhand/guide/index.html" ] ||
    fail "F1 handed over '$(cat "$WORK/record")', not the unpacked guide"
  echo "F1 opens the unpacked guide"
  # The open dialog, taken to another folder and cancelled: the toolkit
  # would remember that folder in ~/.config/QtProject.conf.
  focus "Deckhand v0.2"
  keys ctrl+o
  focus "Open"
  xdotool type --delay 20 "$WORK/cwd/"
  keys Return
  keys Escape
  wait_gone "Open"
  focus "Deckhand v0.2"
  keys alt+F4
  wait_exit
  written=$(cd "$WORK/home" && find . -mindepth 1 ! -type d | sort)
  echo "written into the home folder: ${written:-nothing}"
  if grep -q 'QtProject' <<<"$written"; then fail "the toolkit's file-dialog state was saved"; fi
fi

if ((${#skipped[@]})); then
  printf 'SKIPPED: %s\n' "${skipped[@]}"
  exit 77
fi
echo "PASS"
