#!/bin/bash
# Opens the selected files in Vim inside a terminal.
if command -v gnome-terminal >/dev/null; then
  gnome-terminal -- vim "$@"
else
  x-terminal-emulator -e vim "$@"
fi
