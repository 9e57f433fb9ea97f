#!/bin/bash
# Copies the paths of the selected items to the clipboard, one per line.
ORVANE_SCRIPT_NAME="Copy paths to clipboard"
. "${BASH_SOURCE[0]%/*}/common.bash" || exit 1

text=$(printf '%s\n' "$@")
if [ -n "${WAYLAND_DISPLAY:-}" ] && orvane_have wl-copy; then
  printf '%s' "$text" | wl-copy
elif orvane_have xclip; then
  printf '%s' "$text" | xclip -selection clipboard -in >/dev/null
elif orvane_have xsel; then
  printf '%s' "$text" | xsel --clipboard --input
else
  orvane_fail "no clipboard tool found: install wl-clipboard (Wayland), or xclip or xsel (X11)"
fi
