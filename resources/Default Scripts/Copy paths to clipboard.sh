#!/bin/bash
# Copies the selected paths, one per line, to the clipboard.
text=$(printf '%s\n' "$@")
if [ -n "${WAYLAND_DISPLAY:-}" ] && command -v wl-copy >/dev/null; then
  printf '%s' "$text" | wl-copy
elif command -v xclip >/dev/null; then
  printf '%s' "$text" | xclip -selection clipboard
elif command -v xsel >/dev/null; then
  printf '%s' "$text" | xsel --clipboard --input
else
  echo "No clipboard tool found (wl-copy, xclip or xsel)" >&2
  exit 1
fi
