#!/bin/bash
# Makes the file managers show hidden files (names that start with a dot).
ORVANE_SCRIPT_NAME="Show hidden files"
. "${BASH_SOURCE[0]%/*}/common.bash" || exit 1

orvane_set_show_hidden true
