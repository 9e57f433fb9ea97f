// SPDX-License-Identifier: GPL-3.0-or-later
// Text forms of a menu for command-line hosts: an indented outline and JSON.
#pragma once

#include "menus/OVMenu.h"

#include <nlohmann/json_fwd.hpp>

#include <string>

// One line per item, two spaces of indent per level; disabled items end in " (disabled)".
std::string menuOutline(const OVMenu& menu);

// An array of {"title", "identifier", "icon", "enabled", "submenu"}; "icon" is null for an item
// without an image, "submenu" null for an item without one.
nlohmann::json menuJSON(const OVMenu& menu);

// The image as text: its serialized form (a themed name or GIcon string), or a data URI for
// PNG bytes; empty for none.
std::string imageDescription(const OVImage& image);
