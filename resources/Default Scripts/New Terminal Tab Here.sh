#!/bin/bash
# Opens a new tab of the desktop's terminal in each selected folder (or the folder of a file).
ORVANE_SCRIPT_NAME="New Terminal Tab Here"
. "${BASH_SOURCE[0]%/*}/common.bash" || exit 1

[ $# -gt 0 ] || orvane_fail "no folder given"
for item in "$@"; do
  orvane_open_terminal tab "$(orvane_folder_of "$item")"
done
