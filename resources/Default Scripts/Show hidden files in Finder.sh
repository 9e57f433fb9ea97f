#!/bin/bash
# Makes the file manager show hidden files.
gsettings set org.gtk.gtk4.Settings.FileChooser show-hidden true 2>/dev/null
gsettings set org.gtk.Settings.FileChooser show-hidden true 2>/dev/null
exit 0
