# Shared by scripts/run, scripts/test and scripts/bench: installs what is
# missing, then configures and builds into build/.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"

log() { printf '== %s\n' "$*" >&2; }

install_packages() {
  local wanted missing=()
  wanted=$(grep -v '^#' "$ROOT/scripts/packages.txt" | sed '/^$/d')
  for pkg in $wanted; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  if ((${#missing[@]})); then
    log "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
  fi
}

# configure_and_build DIR [CMAKE ARGUMENTS...]: configures DIR every time, so
# that options changed since the last run take effect, then builds it.
# DECKHAND_CMAKE_ARGS (split on spaces) goes before the given arguments, which
# win where both set the same variable: .ci/run uses it to turn on -Werror and
# the benchmarks.
configure_and_build() {
  local dir="$1"; shift
  local extra=()
  read -r -a extra <<<"${DECKHAND_CMAKE_ARGS:-}"
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}" "$@" >&2 &&
    cmake --build "$dir" --parallel "$(nproc)" >&2
}
