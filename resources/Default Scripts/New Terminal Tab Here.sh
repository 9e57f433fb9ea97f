#!/bin/bash
# Opens a new terminal tab in each selected folder.
for dir in "$@"; do
  [ -d "$dir" ] || dir=$(dirname "$dir")
  if command -v gnome-terminal >/dev/null; then
    gnome-terminal --tab --working-directory="$dir"
  else
    (cd "$dir" && x-terminal-emulator &)
  fi
done
