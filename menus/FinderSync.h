// SPDX-License-Identifier: GPL-3.0-or-later
// The principal object of the file-manager extension: builds the menus for the host's current
// selection and hands a chosen action to the runner.
#pragma once

#include "menus/OVMenu.h"
#include "model/OVAction.h"

#include <nlohmann/json_fwd.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class OVUserDefaults;
class OVWormhole;
namespace ov {
class PluginElectionReader;
class SerialQueue;
class TerminationRequestListener;
class VolumeWatcher;
} // namespace ov

enum class FIMenuKind : int {
    ContextualMenuForItems = 0,
    ContextualMenuForContainer = 1,
    ContextualMenuForSidebar = 2,
    ToolbarItemMenu = 3,
};

class FinderSync : public std::enable_shared_from_this<FinderSync> {
public:
    // One item of the host's selection. The host says whether it is a folder when it knows, so
    // that building a menu need not touch the disk.
    struct Item {
        std::string path;
        std::optional<bool> isDirectory;
    };
    using DispatchCompletion = std::function<void(bool ok, const std::string& error)>;
    // An action the menu leaves out, and why, in words for the user.
    struct Omission {
        OVActionPtr action;
        OVActionPtr group; // the group that holds it, or none
        std::string reason;
    };
    using Omissions = std::vector<Omission>;

    static constexpr const char* kSelectorPrefix = "ov_";

    // Reads the preferences and the action list and starts listening for changes.
    static std::shared_ptr<FinderSync> create();
    // One that answers for the given actions and preferences (a list still being edited) and
    // follows nothing: it neither reads the store nor listens for changes. Whether the extension
    // is turned on is read as the extension reads it.
    static std::shared_ptr<FinderSync> createDetached(OVActionList actions, std::shared_ptr<OVUserDefaults> defaults);
    ~FinderSync();
    FinderSync(const FinderSync&) = delete;
    FinderSync& operator=(const FinderSync&) = delete;

    // What the host shows: the selected items, and the folder whose background (or sidebar
    // entry) was clicked. Paths are made plain and absolute.
    void setSelectionItems(std::vector<Item> selectedItems, std::optional<Item> targeted);
    void setSelection(const OVPaths& selectedPaths, const std::optional<std::string>& targetedPath);

    // Empty while the user has elected the extension to be ignored.
    OVMenu menuForMenuKind(FIMenuKind kind);
    bool isElectedForUse();
    // The enabled actions that fit the selection, groups as submenus: the menu before it is
    // wrapped for a contextual kind or completed for the toolbar. With omitted, every stored
    // action left out is noted there in store order, a group's children after the group.
    OVMenu actionMenu(Omissions* omitted = nullptr);
    std::string toolbarItemName() const { return "Orvane"; }
    std::string toolbarItemToolTip() const { return "Click the toolbar item for a menu."; }
    OVImage toolbarItemImage() const { return OVImage::named("icon-orvane"); }

    // The selected paths, else the targeted folder, else none.
    OVPaths selectedItems() const;
    // The folder whose background or sidebar entry was clicked, or the folder the host shows the
    // selection in; none when the host did not say.
    std::optional<std::string> currentFolder() const;
    OVStringList selectedFileUTIs() const;
    static bool allUTIs(const OVStringList& utis, const OVStringList& types);

    void updateDirectoryURLs();
    void reloadData();
    void preferencesDidChange();
    // Asked to quit (a forced restart): what a fresh copy would do, read everything again.
    void reloadState();

    const std::vector<std::string>& directoryURLs() const { return directoryURLs_; }
    const OVActionList& actionsArray() const { return actionsArray_; }
    void setActionsArray(const OVActionList& actions) { actionsArray_ = actions; }
    // True when the last reload found a store that could not be read.
    bool actionsLoadFailed() const { return actionsLoadFailed_; }
    const std::shared_ptr<OVUserDefaults>& userDefaults() const { return userDefaults_; }

    // Dispatch of a chosen item. Identifiers that do not start with "ov_" are not claimed.
    static bool resolveInstanceMethod(const std::string& selector);
    // Answers false for an identifier that is not claimed. The request file is written off the
    // main context (a file manager must not wait for the disk); done, when given, runs on the
    // main context once the URL was handed over or the request failed.
    bool performSelector(const std::string& selector, DispatchCompletion done = {});
    void resolveActionWithUID(const std::string& uid, DispatchCompletion done = {});
    // Writes a new request file in the container; its name, or none on failure.
    static std::optional<std::string> saveDictionary(const nlohmann::json& dictionary);
    static std::string runRequestURL(const std::string& uid, const std::string& fileName);

    // A plain absolute path: relative ones against the current folder, no "." parts, no
    // repeated or trailing slash.
    static std::string plainAbsolutePath(const std::string& path);

private:
    FinderSync() = default;
    void init();
    OVStringList fileUTIsOf(const std::vector<Item>& items) const;
    std::string typeMismatch(const OVStringList& types) const;

    std::shared_ptr<OVWormhole> wormhole_;
    OVActionList actionsArray_;
    std::shared_ptr<OVUserDefaults> userDefaults_;
    bool actionsLoadFailed_ = false;

    std::vector<std::string> directoryURLs_;
    std::unique_ptr<ov::VolumeWatcher> volumeWatcher_;
    std::vector<Item> selectedItemURLs_;
    std::optional<Item> targetedURL_;
    std::shared_ptr<ov::SerialQueue> requestQueue_;
    std::unique_ptr<ov::PluginElectionReader> election_;
    std::unique_ptr<ov::TerminationRequestListener> terminationListener_;
};
