// SPDX-License-Identifier: GPL-3.0-or-later
// The icon the file manager shows for an item.
#pragma once

#include <string>

typedef struct _GIcon GIcon;

namespace ov {

// The item's own icon (standard::icon, the link itself for a link), else the icon of the type its
// name suggests; a new reference.
GIcon* iconForFile(const std::string& path);

} // namespace ov
