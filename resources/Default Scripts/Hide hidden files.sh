#!/bin/bash
# Makes the file managers hide hidden files (names that start with a dot) again.
ORVANE_SCRIPT_NAME="Hide hidden files"
. "${BASH_SOURCE[0]%/*}/common.bash" || exit 1

orvane_set_show_hidden false
