// SPDX-License-Identifier: GPL-3.0-or-later
// A menu as the extension hands it to its host: a plain tree of titled items.
#pragma once

#include "model/OVImage.h"

#include <optional>
#include <string>
#include <vector>

struct OVMenuItem;

struct OVMenu {
    std::string title;
    std::vector<OVMenuItem> items;

    bool empty() const { return items.empty(); }
    void addItem(OVMenuItem item);
};

struct OVMenuItem {
    std::string title;
    // "ov_" followed by the action's uid; empty for items that do nothing when chosen.
    std::string identifier;
    std::optional<OVImage> image;
    bool enabled = true;
    std::optional<OVMenu> submenu;

    bool hasAction() const { return !identifier.empty(); }
};

inline void OVMenu::addItem(OVMenuItem item) { items.push_back(std::move(item)); }
