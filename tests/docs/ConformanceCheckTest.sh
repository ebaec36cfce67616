#!/bin/bash
# The conformance table's check on small tables of its own: it accepts
# existing names and the two markers, and names every missing test and every
# row whose test column is none of those.
set -u
check=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0

# A stand-in for a GoogleTest program's --gtest_list_tests.
cat >"$dir/program" <<'PROGRAM'
#!/bin/sh
[ "$1" = --gtest_list_tests ] || exit 1
printf 'Suite.\n  First\n  Second\n  DISABLED_Broken\nOther.\n  Third\nTyped/0.  # TypeParam = int\n  Fourth\nA notice: not a suite\n  Stray\n'
PROGRAM
chmod +x "$dir/program"

expect() {  # expect STATUS PATTERN TABLE-TEXT: the check's exit status and a line of its output
  printf '%s\n' "$3" >"$dir/table.md"
  out=$("$check" "$dir/table.md" "$dir/program" 2>&1)
  status=$?
  if [ "$status" -ne "$1" ] || ! grep -qF -- "$2" <<<"$out"; then
    echo "FAIL: expected status $1 and \"$2\", got $status:"
    echo "$out"
    fail=1
  fi
}

header='| clause | rule | module | test |
|---|---|---|---|'

expect 0 "4 test names checked, 0 missing" "$header
| §1 | a | m | \`Suite.First\`, \`Other.Third\` |
| §2 | b | m | \`Suite.Second\` |
| §3 | c | m | not supported: no such thing |
| §4 | d | m | not tested yet |
| §5 | e | m | \`Typed/0.Fourth\` |"

expect 1 "table.md:4: no such test: Suite.Gone" "$header
| §1 | a | m | \`Suite.First\` |
| §2 | b | m | \`Suite.Gone\`, \`Other.Third\` |"

# A line that is not a suite's (a library's notice) ends the suite before it.
expect 1 "table.md:3: no such test: Typed/0.Stray" "$header
| §1 | a | m | \`Typed/0.Stray\` |"

expect 1 "table.md:3: the test column is neither" "$header
| §1 | a | m | Suite.First |"

expect 1 "table.md:3: the test column is neither" "$header
| §1 | a | m | not supported |"

expect 1 "table.md:3: the test column is neither" "$header
| §1 | a | m |  |"

# "fails today:" names the disabled test that holds the rule once it is mended.
expect 0 "5 test names checked, 0 missing" "$header
| §1 | a | m | \`Suite.First\`, \`Other.Third\` |
| §2 | b | m | fails today: it does c (\`Suite.DISABLED_Broken\`) |
| §3 | c | m | \`Suite.Second\`, \`Typed/0.Fourth\` |"

expect 1 "table.md:3: no such test: Suite.DISABLED_Gone" "$header
| §1 | a | m | fails today: it does c (\`Suite.DISABLED_Gone\`) |"

# Mended and renamed without the table being told: the old name is missing.
expect 1 "table.md:3: no such test: Suite.DISABLED_First" "$header
| §1 | a | m | fails today: it does c (\`Suite.DISABLED_First\`) |"

expect 1 "table.md:3: the test column is neither" "$header
| §1 | a | m | fails today: it does c |"

expect 1 "table.md:3: the test column is neither" "$header
| §1 | a | m | fails today: it does c (\`Suite.First\`) |"

# A program that cannot list its tests fails the check.
printf '#!/bin/sh\nexit 3\n' >"$dir/broken"
chmod +x "$dir/broken"
printf '%s\n' "$header" >"$dir/table.md"
if "$check" "$dir/table.md" "$dir/broken" >/dev/null 2>&1; then
  echo "FAIL: a program that cannot list its tests was accepted"
  fail=1
fi

[ "$fail" -eq 0 ] && echo "all cases passed"
exit "$fail"
