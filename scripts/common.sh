# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by scripts/run, scripts/test and bench/run: configure and build one build folder.
# usage: orvane_build DIR [cmake options...] [-- targets...]
ORVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-$(nproc)}

orvane_build() {
  local dir=$1; shift
  local opts=() targets=()
  while [ $# -gt 0 ]; do
    if [ "$1" = "--" ]; then shift; targets=("$@"); break; fi
    opts+=("$1"); shift
  done
  cmake -S "$ORVANE_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${opts[@]}" >/dev/null
  if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$dir" -j "$JOBS" --target "${targets[@]}"
  else
    cmake --build "$dir" -j "$JOBS"
  fi
}
