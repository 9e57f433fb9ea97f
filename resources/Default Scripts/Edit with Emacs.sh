#!/bin/bash
# Opens the selected files in Emacs.
if command -v emacsclient >/dev/null; then
  emacsclient -c -a emacs "$@" &
else
  emacs "$@" &
fi
