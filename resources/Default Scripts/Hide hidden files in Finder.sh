#!/bin/bash
# Makes the file manager hide hidden files again.
gsettings set org.gtk.gtk4.Settings.FileChooser show-hidden false 2>/dev/null
gsettings set org.gtk.Settings.FileChooser show-hidden false 2>/dev/null
exit 0
