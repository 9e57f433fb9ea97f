#!/bin/bash
# Opens a new tab of another terminal (kitty, WezTerm, Tilix, Terminator or Alacritty) in each selected folder (or the folder of a file).
ORVANE_SCRIPT_NAME="New Tab Here in Another Terminal"
. "${BASH_SOURCE[0]%/*}/common.bash" || exit 1

[ $# -gt 0 ] || orvane_fail "no folder given"
for item in "$@"; do
  orvane_open_other_terminal tab "$(orvane_folder_of "$item")"
done
