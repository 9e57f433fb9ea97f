// SPDX-License-Identifier: GPL-3.0-or-later
#include "menus/FinderSync.h"

#include "menus/OVMenuExport.h"

#include "messaging/OVProtocol.h"
#include "messaging/OVWormhole.h"
#include "model/OVActionGroup.h"
#include "model/OVFirstRunCatalogue.h"
#include "model/OVTypes.h"
#include "model/OVUserDefaults.h"
#include "platform/ContentTypes.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/PluginRegistry.h"
#include "platform/ProductPaths.h"
#include "platform/RunningApplications.h"
#include "platform/Translation.h"
#include "platform/Volumes.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <unordered_map>

namespace {

std::string selectorForUID(const std::string& uid) { return std::string(FinderSync::kSelectorPrefix) + uid; }

// The last component of a plain absolute path ("/" for the root).
std::string_view fileName(std::string_view path)
{
    auto slash = path.rfind('/');
    if (slash == std::string_view::npos || path.size() == 1)
        return path;
    return path.substr(slash + 1);
}

// Whether a file name has an extension in the usual sense: a dot that neither starts nor ends it.
bool hasPathExtension(std::string_view name)
{
    auto dot = name.rfind('.');
    return dot != std::string_view::npos && dot != 0 && dot + 1 < name.size();
}

// The type test of one menu request: the selection types are fixed, so whether all of them
// conform to a listed type is worked out once per listed type and shared by every action.
class TypeTest {
public:
    explicit TypeTest(OVStringList utis) : utis_(std::move(utis)) {}

    bool conforms(const OVStringList& types)
    {
        if (utis_.empty())
            return false;
        for (const auto& type : types) {
            if (!allConformTo(type))
                return false;
        }
        return true;
    }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
    };

    bool allConformTo(const std::string& type)
    {
        auto it = memo_.find(type);
        if (it != memo_.end())
            return it->second;
        bool answer = std::all_of(utis_.begin(), utis_.end(),
                                  [&type](const std::string& uti) { return ov::contentTypeConformsTo(uti, type); });
        memo_.emplace(type, answer);
        return answer;
    }

    OVStringList utis_;
    std::unordered_map<std::string, bool, Hash, std::equal_to<>> memo_;
};

// Why a selection of count items is outside the action's counts, for the user.
std::string countMismatch(std::size_t count, const OVSelectionCounts& counts)
{
    const std::string selected =
        ov::stringPrintf(ov::translatePlural("%ld item is selected", "%ld items are selected", count), long(count));
    const int minimum = counts.minimum.value_or(1);
    std::string wanted;
    if (counts.maximum && minimum == *counts.maximum)
        wanted = ov::stringPrintf(ov::translatePlural("the action is only for %d item", "the action is only for %d items",
                                                      static_cast<unsigned long>(minimum)),
                                  minimum);
    else if (counts.maximum && counts.minimum)
        wanted = ov::stringPrintf(ov::translatePlural("the action is only for %d to %d item",
                                                      "the action is only for %d to %d items",
                                                      static_cast<unsigned long>(*counts.maximum)),
                                  minimum, *counts.maximum);
    else if (counts.maximum)
        wanted = ov::stringPrintf(ov::translatePlural("the action is only for at most %d item",
                                                      "the action is only for at most %d items",
                                                      static_cast<unsigned long>(*counts.maximum)),
                                  *counts.maximum);
    else
        wanted = ov::stringPrintf(ov::translatePlural("the action is only for %d or more item",
                                                      "the action is only for %d or more items",
                                                      static_cast<unsigned long>(minimum)),
                                  minimum);
    return ov::stringPrintf(_("%s, and %s"), selected.c_str(), wanted.c_str());
}

OVMenuItem itemForAction(const OVAction& action, std::string identifier)
{
    OVMenuItem item;
    item.title = action.title().value_or("");
    item.identifier = std::move(identifier);
    if (action.icon() && !action.icon()->isEmpty())
        item.image = action.icon();
    return item;
}

} // namespace

std::shared_ptr<FinderSync> FinderSync::create()
{
    std::shared_ptr<FinderSync> finderSync(new FinderSync());
    finderSync->init();
    return finderSync;
}

std::shared_ptr<FinderSync> FinderSync::createDetached(OVActionList actions, std::shared_ptr<OVUserDefaults> defaults)
{
    std::shared_ptr<FinderSync> finderSync(new FinderSync());
    finderSync->election_ = std::make_unique<ov::PluginElectionReader>(ov::kExtensionId);
    finderSync->actionsArray_ = std::move(actions);
    finderSync->userDefaults_ = std::move(defaults);
    return finderSync;
}

FinderSync::~FinderSync() = default;

void FinderSync::init()
{
    election_ = std::make_unique<ov::PluginElectionReader>(ov::kExtensionId);
    updateDirectoryURLs();
    preferencesDidChange();
    reloadData();

    std::weak_ptr<FinderSync> weak = weak_from_this();
    wormhole_ = OVProtocol::listenForChanges(weak, &FinderSync::reloadData, &FinderSync::preferencesDidChange);
    if (!wormhole_)
        ov::ovLog("Could not listen for changes: the shared container cannot be located");

    volumeWatcher_ = ov::VolumeWatcher::create([weak] {
        if (auto self = weak.lock())
            self->updateDirectoryURLs();
    });
    terminationListener_ = ov::TerminationRequestListener::create(ov::kExtensionId, [weak] {
        if (auto self = weak.lock())
            self->reloadState();
    });
}

void FinderSync::reloadState()
{
    updateDirectoryURLs();
    preferencesDidChange();
    reloadData();
}

bool FinderSync::isElectedForUse() { return election_->isElectedForUse(); }

void FinderSync::updateDirectoryURLs() { directoryURLs_ = ov::visibleVolumePaths(); }

void FinderSync::preferencesDidChange() { userDefaults_ = OVUserDefaults::create(); }

void FinderSync::reloadData()
{
    auto manager = OVFirstRunCatalogue::loadStore();
    actionsLoadFailed_ = !manager;
    actionsArray_ = manager ? manager->actions() : OVActionList{};
}

std::string FinderSync::plainAbsolutePath(const std::string& path)
{
    if (path.empty())
        return path;
    std::filesystem::path p(path);
    if (p.is_relative()) {
        std::error_code ec;
        auto cwd = std::filesystem::current_path(ec);
        if (!ec)
            p = cwd / p;
    }
    std::string plain = p.lexically_normal().string();
    while (plain.size() > 1 && plain.back() == '/')
        plain.pop_back();
    return plain;
}

void FinderSync::setSelectionItems(std::vector<Item> selectedItems, std::optional<Item> targeted)
{
    selectedItemURLs_.clear();
    for (auto& item : selectedItems) {
        if (item.path.empty())
            continue;
        item.path = plainAbsolutePath(item.path);
        selectedItemURLs_.push_back(std::move(item));
    }
    if (targeted && !targeted->path.empty())
        targeted->path = plainAbsolutePath(targeted->path);
    else
        targeted.reset();
    targetedURL_ = std::move(targeted);
}

void FinderSync::setSelection(const OVPaths& selectedPaths, const std::optional<std::string>& targetedPath)
{
    std::vector<Item> items;
    items.reserve(selectedPaths.size());
    for (const auto& path : selectedPaths)
        items.push_back(Item{path, std::nullopt});
    std::optional<Item> targeted;
    if (targetedPath)
        targeted = Item{*targetedPath, std::nullopt};
    setSelectionItems(std::move(items), std::move(targeted));
}

OVPaths FinderSync::selectedItems() const
{
    OVPaths paths;
    if (!selectedItemURLs_.empty()) {
        paths.reserve(selectedItemURLs_.size());
        for (const auto& item : selectedItemURLs_)
            paths.push_back(item.path);
    } else if (targetedURL_) {
        paths.push_back(targetedURL_->path);
    }
    return paths;
}

std::optional<std::string> FinderSync::currentFolder() const
{
    if (!targetedURL_)
        return std::nullopt;
    return targetedURL_->path;
}

OVStringList FinderSync::selectedFileUTIs() const
{
    if (!selectedItemURLs_.empty())
        return fileUTIsOf(selectedItemURLs_);
    if (targetedURL_)
        return fileUTIsOf({*targetedURL_});
    return {};
}

OVStringList FinderSync::fileUTIsOf(const std::vector<Item>& items) const
{
    // Types are interned, so the set of a large selection is kept as a few distinct addresses.
    const std::string* folder = ov::internedContentType(kUTTypeFolder);
    std::vector<const std::string*> types;
    auto add = [&types](const std::string* type) {
        if (std::find(types.begin(), types.end(), type) == types.end())
            types.push_back(type);
    };
    for (const auto& item : items) {
        const std::string_view name = fileName(item.path);
        // The folder flag costs a stat, so it is only asked for when the name leaves it open.
        auto isDirectory = [&item] { return item.isDirectory ? *item.isDirectory : ov::isDirectory(item.path); };
        if (!hasPathExtension(name)) {
            add(isDirectory() ? folder : ov::contentTypeForFileName(name).type);
            continue;
        }
        ov::GuessedContentType guessed = ov::contentTypeForFileName(name);
        // Folders named like "Photos 2023.05" or "project.d" are still folders; only an
        // extension the type database knows gives a folder another type.
        add(guessed.uncertain && isDirectory() ? folder : guessed.type);
    }
    OVStringList list;
    list.reserve(types.size());
    for (const std::string* type : types)
        list.push_back(*type);
    std::sort(list.begin(), list.end());
    return list;
}

bool FinderSync::allUTIs(const OVStringList& utis, const OVStringList& types)
{
    if (utis.empty())
        return false;
    for (const auto& type : types) {
        for (const auto& uti : utis) {
            if (!ov::contentTypeConformsTo(uti, type))
                return false;
        }
    }
    return true;
}

std::string FinderSync::typeMismatch(const OVStringList& types) const
{
    std::vector<Item> items = selectedItemURLs_;
    if (items.empty() && targetedURL_)
        items.push_back(*targetedURL_);
    std::string wanted;
    for (const auto& type : types)
        wanted += (wanted.empty() ? "" : ", ") + type;
    // The first item that does not fit is named: with many selected, one is enough to act on.
    for (const auto& item : items) {
        const OVStringList utis = fileUTIsOf({item});
        if (allUTIs(utis, types))
            continue;
        std::string found;
        for (const auto& uti : utis)
            found += (found.empty() ? "" : ", ") + uti;
        if (found.empty())
            found = _("(none)");
        const std::string shown = "'" + menuSafeTitle(item.path) + "'";
        if (types.empty())
            return ov::stringPrintf(_("%s is of type %s"), shown.c_str(), found.c_str());
        return ov::stringPrintf(_("%s is of type %s, and the action is only for %s"), shown.c_str(), found.c_str(),
                                wanted.c_str());
    }
    return _("it does not fit these files");
}

OVMenu FinderSync::actionMenu(Omissions* omitted)
{
    const OVActionList actions = actionsArray_;
    OVMenu menu;
    TypeTest typeTest(selectedFileUTIs());
    // A folder's background counts as one item, the folder, as the actions receive it.
    const std::size_t selectionCount = !selectedItemURLs_.empty() ? selectedItemURLs_.size() : targetedURL_ ? 1 : 0;
    // Reasons are worded only when asked for: the host's menu must stay cheap.
    auto leaveOut = [omitted](const OVActionPtr& action, const OVActionPtr& group, const auto& reason) {
        if (omitted)
            omitted->push_back(Omission{action, group, reason()});
    };
    auto unknownKind = [] { return std::string(_("it is of a kind this version of Orvane does not know (from a newer Orvane)")); };
    auto turnedOff = [] { return std::string(_("it is turned off")); };
    // The children of a group left out go with it, for the same reason.
    auto leaveOutChildren = [&](const OVActionPtr& group, const auto& reason) {
        if (!omitted)
            return;
        if (auto* g = dynamic_cast<const OVActionGroup*>(group.get())) {
            for (const auto& child : g->actions()) {
                if (child)
                    leaveOut(child, group, reason);
            }
        }
    };
    // The group and its children for one reason, worked out once.
    auto leaveOutWithChildren = [&](const OVActionPtr& action, const auto& reason) {
        if (!omitted)
            return;
        const std::string why = reason();
        auto same = [&why] { return why; };
        leaveOut(action, nullptr, same);
        leaveOutChildren(action, same);
    };

    for (const auto& action : actions) {
        if (!action)
            continue;
        // A kind of a newer version has no run behaviour here, whatever its flag says.
        if (action->isUnknown()) {
            leaveOut(action, nullptr, unknownKind);
            continue;
        }
        if (!action->enabled()) {
            leaveOut(action, nullptr, turnedOff);
            leaveOutChildren(action, [&action] {
                return ov::stringPrintf(_("its group %s is turned off"),
                                        ("'" + menuSafeTitle(action->title().value_or("")) + "'").c_str());
            });
            continue;
        }
        if (const OVSelectionCounts counts = action->selectionCounts(); !counts.allows(selectionCount)) {
            leaveOutWithChildren(action, [&] { return countMismatch(selectionCount, counts); });
            continue;
        }
        const auto& fileTypes = action->fileTypes();
        if (fileTypes && !typeTest.conforms(*fileTypes)) {
            leaveOutWithChildren(action, [&] { return typeMismatch(*fileTypes); });
            continue;
        }

        if (action->isGroup()) {
            auto* group = dynamic_cast<const OVActionGroup*>(action.get());
            if (!group)
                continue;
            const std::size_t groupAt = omitted ? omitted->size() : 0;
            OVMenu submenu;
            // Children follow the group's file types and counts; their own are not consulted.
            for (const auto& child : group->actions()) {
                if (!child)
                    continue;
                if (child->isUnknown())
                    leaveOut(child, action, unknownKind);
                else if (!child->enabled())
                    leaveOut(child, action, turnedOff);
                else
                    submenu.addItem(itemForAction(*child, selectorForUID(child->uid())));
            }
            if (submenu.empty()) {
                if (omitted)
                    omitted->insert(omitted->begin() + std::ptrdiff_t(groupAt),
                                    Omission{action, nullptr, _("none of its actions can be shown")});
                continue;
            }
            OVMenuItem item = itemForAction(*action, {});
            item.submenu = std::move(submenu);
            menu.addItem(std::move(item));
        } else {
            menu.addItem(itemForAction(*action, selectorForUID(action->uid())));
        }
    }
    return menu;
}

OVMenu FinderSync::menuForMenuKind(FIMenuKind kind)
{
    if (!isElectedForUse())
        return {};
    OVMenu menu = actionMenu();
    const bool itemAdded = !menu.empty();
    if (kind == FIMenuKind::ToolbarItemMenu) {
        if (!itemAdded) {
            OVMenuItem none;
            none.title = _("No Actions Enabled");
            none.enabled = false;
            menu.addItem(std::move(none));
        }
        return menu;
    }

    const bool useSubmenu = userDefaults_ ? userDefaults_->useSubmenu() : true;
    // An "Orvane" item that opens onto nothing is only clutter.
    if (!useSubmenu || !itemAdded)
        return menu;
    OVMenu root;
    OVMenuItem rootItem;
    rootItem.title = "Orvane";
    rootItem.image = OVImage::named("icon-contextmenu");
    rootItem.submenu = std::move(menu);
    root.addItem(std::move(rootItem));
    return root;
}
