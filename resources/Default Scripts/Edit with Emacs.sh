#!/bin/bash
# Opens the selected files in Emacs: in the running Emacs when there is one, else in a new one.
ORVANE_SCRIPT_NAME="Edit with Emacs"
. "${BASH_SOURCE[0]%/*}/common.bash" || exit 1

orvane_have emacs || orvane_fail "Emacs is not installed"
[ $# -gt 0 ] || orvane_fail "no file given"
if orvane_have emacsclient; then
  orvane_detach emacsclient --create-frame --no-wait --alternate-editor=emacs "$@"
else
  orvane_detach emacs "$@"
fi
