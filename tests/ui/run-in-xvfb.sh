#!/usr/bin/env bash
# Runs an end-to-end test script in a private Xvfb server:
#   run-in-xvfb.sh SCRIPT PROGRAM
# The script gets DISPLAY and the program's path as its first argument.
set -euo pipefail
script="$1"; shift
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb.sh"
start_xvfb
trap stop_xvfb EXIT
bash "$script" "$@"
