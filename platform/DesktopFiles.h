// SPDX-License-Identifier: GPL-3.0-or-later
// Applications as the desktop describes them: .desktop files and their ids.
#pragma once

#include <optional>
#include <string>

namespace ov {

// The desktop-file id of the application that a .desktop file describes: its path below an
// "applications" folder of the XDG data folders with "/" turned into "-", or else its file name,
// without ".desktop". None for anything that is not a readable desktop entry of type Application.
std::optional<std::string> desktopFileId(const std::string& path);

} // namespace ov
