// SPDX-License-Identifier: GPL-3.0-or-later
// A window with the answer of a trial: the context menu some files would get, its groups as
// indented rows, and every action it leaves out with the reason beside it.
#pragma once

#include "menus/OVMenuExplanation.h"

#include <gtk/gtk.h>

#include <string>
#include <vector>

class OVTryMenuWindow {
public:
    // What was tried, for the window's subtitle.
    struct Subject {
        std::vector<std::string> paths;
        bool background = false; // paths holds the one folder whose background was clicked
    };

    // Widget names of the two lists, for finding them in the window.
    static constexpr const char* kShownListName = "shown";
    static constexpr const char* kLeftOutListName = "left-out";
    // Each submenu level indents its rows by this much.
    static constexpr int kIndentPerLevel = 24;

    // The window, shown; it is destroyed when closed.
    static GtkWindow* present(const OVMenuExplanation& explanation, const Subject& subject, GtkWindow* parent);

    // The file or folder's name, or "3 items".
    static std::string describe(const Subject& subject);
};
