#!/bin/sh
# Makes Kannel's wmlsc and wmlsdasm available in folder $1 (bin/wmlsc,
# bin/wmlsdasm): from the machine when installed, else unpacked from the
# Debian package fetched with `apt-get download` (nothing is installed and no
# gateway service is set up). Failing to find them is not an error: the
# comparison tests then report themselves as skipped.
dir="$1"
mkdir -p "$dir/bin"
[ -x "$dir/bin/wmlsc" ] && [ -x "$dir/bin/wmlsdasm" ] && exit 0
if command -v wmlsc >/dev/null 2>&1 && command -v wmlsdasm >/dev/null 2>&1; then
  ln -sf "$(command -v wmlsc)" "$dir/bin/wmlsc"
  ln -sf "$(command -v wmlsdasm)" "$dir/bin/wmlsdasm"
  exit 0
fi
command -v apt-get >/dev/null 2>&1 || exit 0
command -v dpkg-deb >/dev/null 2>&1 || exit 0
cd "$dir" || exit 0
# The tools link the MariaDB client library and the old PCRE library, which a
# machine without Kannel may lack (a minimal Debian has neither): they are
# unpacked beside them.
for package in kannel libmariadb3 libpcre3; do
  if ! ls ${package}_*.deb >/dev/null 2>&1; then
    timeout 120 apt-get download "$package" >>download.log 2>&1 ||
      { echo "$package: download failed"; exit 0; }
  fi
done
rm -rf root && mkdir root || exit 0
for deb in kannel_*.deb libmariadb3_*.deb libpcre3_*.deb; do dpkg-deb -x "$deb" root || exit 0; done
libs=$(find "$PWD/root" \( -name 'libmariadb.so.3' -o -name 'libpcre.so.3' \) -exec dirname {} \; |
  sort -u | paste -sd: -)
for tool in wmlsc wmlsdasm; do
  found=$(find "$PWD/root" -type f -name "$tool" | head -n 1)
  [ -n "$found" ] || continue
  printf '#!/bin/sh\nLD_LIBRARY_PATH="%s${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" exec "%s" "$@"\n' \
    "$libs" "$found" >"bin/$tool"
  chmod +x "bin/$tool"
done
exit 0
