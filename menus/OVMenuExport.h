// SPDX-License-Identifier: GPL-3.0-or-later
// The Orvane menu in the action formats of other file managers (Nemo actions, Thunar custom
// actions, Dolphin service menus). Each entry runs "orvane-menu --run UID -- %F", which checks
// again that the action fits the files: the formats' own filters are coarser than Orvane's.
#pragma once

#include "model/OVAction.h"

#include <optional>
#include <string>
#include <vector>

enum class OVFileManager { Nemo, Thunar, Dolphin };

// "nemo", "thunar", "dolphin".
const char* fileManagerName(OVFileManager fileManager);
std::optional<OVFileManager> fileManagerNamed(const std::string& name);
const std::vector<OVFileManager>& allFileManagers();

// The menu as the file managers get it: the enabled top-level actions in order, groups with their
// enabled children. Unlike a menu for one selection nothing is left out for its file types; the
// types travel along as filters.
struct OVExportItem {
    std::string uid;
    std::string title;     // made safe to carry: valid UTF-8, no control characters, never empty
    std::string iconName;  // a themed icon name, or empty
    std::optional<OVStringList> fileTypes; // a child carries its group's
    OVSelectionCounts counts;              // the same
    std::vector<OVExportItem> children;    // a group's visible children; empty for a plain action
    bool isGroup = false;
};

struct OVExportMenu {
    std::vector<OVExportItem> items;
    bool useSubmenu = true;
    std::string command; // absolute path of orvane-menu
};

OVExportMenu exportMenu(const OVActionList& actions, bool useSubmenu, std::string command);

// Uids go into file names and command lines as they are, so only plain ones are exported.
bool isExportableUID(const std::string& uid);

// Text made safe for any menu: invalid UTF-8 bytes become U+FFFD, control characters spaces.
std::string menuSafeTitle(const std::string& text);

struct OVExportFile {
    std::string name; // file name inside the format's folder
    std::string contents;
    bool executable = false;
};

// Files written by Orvane carry this prefix; nothing else in the folders is touched.
inline constexpr const char* kExportFilePrefix = "app.orvane.Orvane-";
// Thunar actions written by Orvane have unique ids that start with this.
inline constexpr const char* kThunarIdPrefix = "app.orvane.Orvane-";

// Nemo 5.6 has no submenus: names are joined with ": " ("Orvane: Group: Item"). Besides the
// selection entry, an action that fits a folder gets one for the folder's background.
std::vector<OVExportFile> nemoActionFiles(const OVExportMenu& menu);
// One service menu per top-level entry, its actions in a submenu ("Orvane", a group's title).
std::vector<OVExportFile> dolphinServiceMenus(const OVExportMenu& menu);
// The <action> elements of the menu, submenus as "Orvane/Group".
std::string thunarActionElements(const OVExportMenu& menu);
// The user's uca.xml with Orvane's actions replaced by `elements`, everything else kept byte for
// byte. None (and *error) when the file is not a Thunar action list.
std::optional<std::string> mergeThunarActions(const std::optional<std::string>& existing, const std::string& elements,
                                              std::string* error = nullptr);
