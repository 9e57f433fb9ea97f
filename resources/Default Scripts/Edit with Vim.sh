#!/bin/bash
# Opens the selected files in Vim, in a new window of the desktop's terminal.
ORVANE_SCRIPT_NAME="Edit with Vim"
. "${BASH_SOURCE[0]%/*}/common.bash" || exit 1

orvane_have vim || orvane_fail "Vim is not installed"
[ $# -gt 0 ] || orvane_fail "no file given"
orvane_run_in_terminal vim -- "$@"
