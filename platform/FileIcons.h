// SPDX-License-Identifier: GPL-3.0-or-later
// What the file manager shows for a file: its thumbnail from the freedesktop thumbnail cache, or
// the icon of its type.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace ov {

// The file's icon as a serialized GIcon (g_icon_to_string); for a path that cannot be looked at,
// the icon of the type its name suggests. Empty when there is none.
std::string fileManagerIcon(const std::string& path);

// The PNG bytes of the file's thumbnail when the cache holds a valid one no larger than maxBytes.
std::optional<std::string> cachedThumbnailPNG(const std::string& path, std::size_t maxBytes);

} // namespace ov
