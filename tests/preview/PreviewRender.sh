#!/usr/bin/env bash
# Runs the preview rendering check in a private Xvfb server:
#   PreviewRender.sh CHECK_PROGRAM [FOLDER_FOR_PICTURES]
set -euo pipefail
program="$1"; shift
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb.sh"
start_xvfb
trap stop_xvfb EXIT
"$program" "$@"
