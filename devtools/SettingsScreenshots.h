// SPDX-License-Identifier: GPL-3.0-or-later
// The settings application's pages, menus and alerts for orvane-screenshots.
#pragma once

#include <string>

// Writes page-*.png, editor-*.png and alert-*.png into the folder; false if any could not be
// written. Uses a private home of its own, so nothing of the user's is shown or changed.
bool captureSettingsScreens(const std::string& folder);
