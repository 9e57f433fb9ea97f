// SPDX-License-Identifier: GPL-3.0-or-later
// The interface side of a program: GTK and libadwaita started once, and the compiled resources
// (interface files and images) registered.
#pragma once

namespace ov {

// Starts GTK and libadwaita on first use and registers the program's resources; false where no
// display can be opened. Main thread only.
bool guiReady();

// Registers the compiled resources (also without a display, for tests that only read them).
void registerResources();

// Prefix of every resource: "/app/orvane/". Interface files are "ui/<ClassName>.ui", images
// "images/<name>.svg".
inline constexpr const char* kResourcePrefix = "/app/orvane/";

} // namespace ov
