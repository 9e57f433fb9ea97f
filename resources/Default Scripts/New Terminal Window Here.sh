#!/bin/bash
# Opens a new terminal window in each selected folder.
for dir in "$@"; do
  [ -d "$dir" ] || dir=$(dirname "$dir")
  if command -v gnome-terminal >/dev/null; then
    gnome-terminal --window --working-directory="$dir"
  elif command -v kgx >/dev/null; then
    kgx --working-directory="$dir" &
  else
    (cd "$dir" && x-terminal-emulator &)
  fi
done
