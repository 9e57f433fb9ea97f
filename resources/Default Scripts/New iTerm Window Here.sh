#!/bin/bash
# Opens a new window of the user's preferred terminal in each selected folder.
for dir in "$@"; do
  [ -d "$dir" ] || dir=$(dirname "$dir")
  if command -v tilix >/dev/null; then
    tilix --working-directory="$dir" &
  elif command -v gnome-terminal >/dev/null; then
    gnome-terminal --window --working-directory="$dir"
  else
    (cd "$dir" && x-terminal-emulator &)
  fi
done
