// SPDX-License-Identifier: GPL-3.0-or-later
// Where the user's own folders are: the XDG base and user directories.
#pragma once

#include <string>

namespace ov {

// $XDG_DATA_HOME (else ~/.local/share) and $XDG_CONFIG_HOME (else ~/.config), read on every call
// so that tests can point each case at its own folders.
std::string userDataDir();
std::string userConfigDir();
// $XDG_CACHE_HOME, else ~/.cache.
std::string userCacheDir();

// The user's folder of a kind (the XDG user directories); $HOME/<fallback> when none is set.
enum class UserDirectory { Desktop, Documents, Pictures };
std::string userDirectory(UserDirectory kind);

} // namespace ov
