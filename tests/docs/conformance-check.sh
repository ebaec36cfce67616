#!/bin/bash
# Checks that the conformance table names only tests that exist.
#
#   conformance-check.sh TABLE PROGRAM...
#
# TABLE is docs/conformance.md; each PROGRAM is a GoogleTest program of the
# build. Every row of the table's tables has the test column last: one or
# more test names in backquotes (`Suite.Name`), or "not supported: <reason>",
# or "not tested yet", or "fails today: <what the program does instead>"
# naming the disabled test(s) in backquotes that hold the rule once it is
# mended. The check lists every named test that no program knows (from
# --gtest_list_tests), and every row whose test column is none of the four,
# and fails when there is any.
set -u
if [ $# -lt 2 ]; then
  echo "usage: $0 TABLE PROGRAM..." >&2
  exit 2
fi
table=$1
shift
if [ ! -r "$table" ]; then
  echo "cannot read the table $table" >&2
  exit 2
fi

known=$(mktemp)
errors=$(mktemp)
trap 'rm -f "$known" "$errors"' EXIT
for program in "$@"; do
  if ! listing=$("$program" --gtest_list_tests 2>"$errors"); then
    echo "$program --gtest_list_tests failed:" >&2
    cat "$errors" >&2
    exit 2
  fi
  # "Suite." lines, then indented test names; a typed or parameterised test
  # carries a comment after "#". Any other line (a library's notice) ends
  # the suite.
  printf '%s\n' "$listing" | awk '
    /^[^ #][^ ]*\.( |$)/ { suite = $1; next }
    /^  [^ ]/ { if (suite != "") print suite $1; next }
    { suite = "" }' >>"$known"
done

# The test column of every table row: the last cell, without the header
# row and the |---| separator rows.
rows=$(awk -F'|' '
  /^\|/ {
    if ($0 ~ /^\|[ :|-]*$/) { next }
    n = NF - 1
    if ($n ~ /^[ ]*test[ ]*$/) { next }
    cell = $n
    gsub(/^ +| +$/, "", cell)
    print FNR "\t" cell
  }' "$table")

missing=0
bad=0
checked=0
while IFS=$'\t' read -r line cell; do
  [ -n "$line" ] || continue
  case $cell in
    "not supported: "?*) continue ;;
    "not tested yet") continue ;;
    "fails today: "?*)
      # The disabled tests it names are checked; the text around them is free.
      names=$(printf '%s\n' "$cell" | grep -o '`[^`]*DISABLED_[^`]*`' | tr -d '`')
      rest= ;;
    *)
      names=$(printf '%s\n' "$cell" | grep -o '`[^`]*`' | tr -d '`')
      rest=$(printf '%s\n' "$cell" | sed 's/`[^`]*`//g; s/[ ,;]//g') ;;
  esac
  if [ -z "$names" ] || [ -n "$rest" ]; then
    echo "$table:$line: the test column is neither test names in backquotes, \"not supported: <reason>\", \"not tested yet\" nor \"fails today: <what>\" with a disabled test in backquotes: $cell"
    bad=$((bad + 1))
    continue
  fi
  for name in $names; do
    checked=$((checked + 1))
    if ! grep -qxF -- "$name" "$known"; then
      echo "$table:$line: no such test: $name"
      missing=$((missing + 1))
    fi
  done
done <<<"$rows"

echo "$checked test names checked, $missing missing, $bad rows without a test column"
[ "$missing" -eq 0 ] && [ "$bad" -eq 0 ]
