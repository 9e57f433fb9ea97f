#!/bin/bash
# Opens a new window of the desktop's terminal in each selected folder (or the folder of a file).
ORVANE_SCRIPT_NAME="New Terminal Window Here"
. "${BASH_SOURCE[0]%/*}/common.bash" || exit 1

[ $# -gt 0 ] || orvane_fail "no folder given"
for item in "$@"; do
  orvane_open_terminal window "$(orvane_folder_of "$item")"
done
