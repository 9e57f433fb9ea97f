# Shared by the built-in scripts: where a selected item is, which terminal and file managers the
# desktop has, and how to start a program that outlives the script.

orvane_have() { command -v "$1" >/dev/null 2>&1; }

orvane_fail() {
  printf '%s: %s\n' "${ORVANE_SCRIPT_NAME:-Orvane}" "$*" >&2
  exit 1
}

# The folder of a selected item: the item itself when it is a folder, else the folder holding it.
orvane_folder_of() {
  local path=$1
  if [ ! -d "$path" ]; then
    path=${path%/*}
    [ -n "$path" ] || path=/
  fi
  printf '%s' "$path"
}

# Starts a program that may stay for as long as its window is open. Its output goes nowhere, so
# the runner is not kept waiting for pipes the window holds.
orvane_detach() { "$@" </dev/null >/dev/null 2>&1 & }

# The terminals this desktop is likely to use, its own first.
orvane_terminals() {
  case ":${XDG_CURRENT_DESKTOP:-}:" in
    *:KDE:*) echo konsole gnome-terminal kgx xfce4-terminal x-terminal-emulator ;;
    *:XFCE:*) echo xfce4-terminal gnome-terminal kgx konsole x-terminal-emulator ;;
    *) echo gnome-terminal kgx konsole xfce4-terminal x-terminal-emulator ;;
  esac
}

orvane_first_terminal() {
  local terminal
  for terminal in $(orvane_terminals); do
    if orvane_have "$terminal"; then
      printf '%s' "$terminal"
      return 0
    fi
  done
  orvane_fail "no terminal found: install GNOME Terminal, Console, Konsole or xfce4-terminal"
}

# Opens the user's terminal in a folder, as a new tab or a new window.
orvane_open_terminal() {
  local mode=$1 folder=$2 terminal
  terminal=$(orvane_first_terminal) || exit 1
  case $terminal in
    gnome-terminal) gnome-terminal --"$mode" --working-directory="$folder" ;;
    kgx)
      if [ "$mode" = tab ]; then orvane_detach kgx --tab --working-directory="$folder"
      else orvane_detach kgx --working-directory="$folder"; fi ;;
    konsole)
      if [ "$mode" = tab ]; then orvane_detach konsole --new-tab --workdir "$folder"
      else orvane_detach konsole --workdir "$folder"; fi ;;
    xfce4-terminal) orvane_detach xfce4-terminal --"$mode" --working-directory="$folder" ;;
    x-terminal-emulator) (cd "$folder" && orvane_detach x-terminal-emulator) ;;
  esac
}

# Runs a command in a new window of the user's terminal.
orvane_run_in_terminal() {
  local terminal
  terminal=$(orvane_first_terminal) || exit 1
  case $terminal in
    gnome-terminal) gnome-terminal -- "$@" ;;
    kgx) orvane_detach kgx -- "$@" ;;
    konsole) orvane_detach konsole -e "$@" ;;
    xfce4-terminal) orvane_detach xfce4-terminal -x "$@" ;;
    x-terminal-emulator) orvane_detach x-terminal-emulator -e "$@" ;;
  esac
}

# Opens another terminal than the desktop's own in a folder, as a new tab or a new window.
# Terminals without tabs, or whose tabs need a running window, open a window instead.
orvane_open_other_terminal() {
  local mode=$1 folder=$2
  if orvane_have kitty; then
    if [ "$mode" = tab ] && kitty @ launch --type=tab --cwd="$folder" >/dev/null 2>&1; then return 0; fi
    orvane_detach kitty --single-instance --directory "$folder"
  elif orvane_have wezterm; then
    if [ "$mode" = tab ] && wezterm cli spawn --cwd "$folder" >/dev/null 2>&1; then return 0; fi
    orvane_detach wezterm start --cwd "$folder"
  elif orvane_have tilix; then
    if [ "$mode" = tab ]; then orvane_detach tilix --action=app-new-session --working-directory="$folder"
    else orvane_detach tilix --action=app-new-window --working-directory="$folder"; fi
  elif orvane_have terminator; then
    if [ "$mode" = tab ]; then orvane_detach terminator --new-tab --working-directory="$folder"
    else orvane_detach terminator --working-directory="$folder"; fi
  elif orvane_have alacritty; then
    orvane_detach alacritty --working-directory "$folder"
  else
    orvane_fail "no other terminal found: install kitty, WezTerm, Tilix, Terminator or Alacritty"
  fi
}

# Switches the file managers' "show hidden files" setting: GNOME Files (and the GTK file
# dialogs), Nemo, Caja, Thunar and Dolphin, whichever are here.
orvane_set_show_hidden() {
  local value=$1 changed=0 setting schema key
  if orvane_have gsettings; then
    for setting in org.gtk.gtk4.Settings.FileChooser:show-hidden org.gtk.Settings.FileChooser:show-hidden \
                   org.nemo.preferences:show-hidden-files org.mate.caja.preferences:show-hidden-files; do
      schema=${setting%%:*}
      key=${setting#*:}
      if [ "$(gsettings writable "$schema" "$key" 2>/dev/null)" = true ] &&
         gsettings set "$schema" "$key" "$value"; then
        changed=1
      fi
    done
  fi
  if orvane_have xfconf-query && orvane_have thunar &&
     xfconf-query -c thunar -p /last-show-hidden -n -t bool -s "$value"; then
    changed=1
  fi
  local kwrite
  for kwrite in kwriteconfig6 kwriteconfig5; do
    orvane_have "$kwrite" || continue
    # Dolphin's view of every folder that keeps no view settings of its own.
    if orvane_have dolphin &&
       "$kwrite" --file "${XDG_DATA_HOME:-$HOME/.local/share}/dolphin/view_properties/global/.directory" \
                 --group Settings --key HiddenFilesShown "$value"; then
      changed=1
    fi
    "$kwrite" --file kdeglobals --group "KFileDialog Settings" --key "Show hidden files" "$value" || true
    break
  done
  [ "$changed" = 1 ] ||
    orvane_fail "no file manager setting found to change (GNOME Files, Nemo, Caja, Thunar or Dolphin)"
}
