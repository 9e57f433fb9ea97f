// SPDX-License-Identifier: GPL-3.0-or-later
// What names this product and where its own things are: application ids, the shared container,
// the installed resources and helper programs.
#pragma once

#include <string>

namespace ov {

inline constexpr const char* kAppId = "app.orvane.Orvane";
inline constexpr const char* kApplicationGroupIdentifier = "ORVANE.app.orvane.Orvane";
inline constexpr const char* kRunnerId = "app.orvane.Orvanehelper";
inline constexpr const char* kExtensionId = "app.orvane.Orvane.extension";
inline constexpr const char* kVendorPrefix = "app.orvane";

// The application-group container folder; created with mode 0700 when missing (errors ignored).
std::string containerPathForGroup(const std::string& groupIdentifier);
std::string containerPath();

// The installed data folder (share/orvane), or the build tree's resources when run uninstalled.
// ORVANE_RESOURCES_DIR overrides it (tests).
std::string resourcesPath();

// A helper program of ours: libexec/orvane/NAME, or the build tree's when run uninstalled.
// ORVANE_LIBEXEC_DIR overrides the folder (tests).
std::string libexecProgramPath(const std::string& name);

// The folder of the message catalogues (share/locale), or the build tree's when run uninstalled.
// ORVANE_LOCALEDIR overrides it (tests).
std::string localePath();

} // namespace ov
