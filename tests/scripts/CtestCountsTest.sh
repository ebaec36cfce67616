#!/usr/bin/env bash
# The counts behind scripts/test's closing line, from CTest output holding
# every kind of result line, with test output in between that must not count.
#   CtestCountsTest.sh COUNTS_AWK
set -euo pipefail
counts="$1"
check() {
  local expected="$1" got
  got=$(awk -f "$counts")
  [ "$got" = "$expected" ] || { echo "FAIL: expected '$expected', got '$got'" >&2; exit 1; }
}

check "3 3 5" <<'OUT'
Test project /src/build
        Start  1: Core.Passes
  1/11 Test  #1: Core.Passes ......................   Passed    0.01 sec
  2/11 Test  #2: Core.Skips .......................***Skipped   0.02 sec
[  SKIPPED ] Core.Skips: the corpus folder is absent
  3/11 Test  #3: Core.Fails .......................***Failed    0.30 sec
Expected equality of these values:
 4/11 Test  #4: e2e_Print ........................***Skipped  12.00 sec
SKIP: this runs as nobody
  5/11 Test  #5: e2e_Hangs ........................***Timeout 600.01 sec
  6/11 Test  #6: Core.Crashes .....................***Exception: SegFault  0.10 sec
  7/11 Test  #7: Core.Missing .....................***Not Run   0.00 sec
  8/11 Test  #8: Core.Off .........................***Not Run (Disabled)   0.00 sec
  9/11 Test  #9: Passed.Name ......................***Failed    0.01 sec
 10/11 Test #10: e2e_Passes .......................   Passed   10.20 sec
11/11 Test #11: Core.Passes.Too ..................   Passed    0.01 sec
the output of a test:   1/1 Test  #1: x ...   Passed    0.01 sec

73% tests passed, 5 tests failed out of 11
OUT
check "0 0 0" </dev/null
echo PASS
