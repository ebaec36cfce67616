#!/usr/bin/env bash
# Runs the toolkit check (ToolkitCheck.cpp) under a Russian locale: the
# ru_RU.UTF-8 locale is generated into a scratch folder (localedef, from
# Debian's locales package; no root needed) and the program runs with
# LANG=ru_RU.UTF-8 and LOCPATH pointing there. When the locale cannot be
# generated the program still runs, its Russian checks skip, and the whole
# test says "SKIP: reason".
#   ToolkitCheck.sh PROGRAM
set -uo pipefail
program="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

unset LC_ALL LC_MESSAGES LANGUAGE
if command -v localedef >/dev/null 2>&1 &&
  localedef -i ru_RU -f UTF-8 "$work/ru_RU.UTF-8" >"$work/localedef.log" 2>&1; then
  export LOCPATH="$work"
else
  echo "the ru_RU.UTF-8 locale cannot be generated (Debian package locales):"
  cat "$work/localedef.log" 2>/dev/null
fi
export LANG=ru_RU.UTF-8
export QT_QPA_PLATFORM=offscreen
status=0
"$program" 2>&1 | tee "$work/output" || status=$?
[ "$status" -eq 0 ] || exit "$status"
if grep -q '^\[  SKIPPED \]' "$work/output"; then
  echo "SKIP: the Russian locale was not in effect; only the settings check ran"
fi
exit 0
