// SPDX-License-Identifier: GPL-3.0-or-later
#include "extension/OVMenuCommand.h"

#include "menus/FinderSync.h"
#include "menus/OVMenuExplanation.h"
#include "menus/OVMenuExporter.h"
#include "menus/OVMenuFormat.h"
#include "model/OVActionGroup.h"
#include "model/OVActionsManager.h"
#include "platform/FileLock.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "platform/PluginRegistry.h"
#include "platform/ProductPaths.h"
#include "platform/Translation.h"

#include <nlohmann/json.hpp>

#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr unsigned kLaunchTimeoutMs = 30000;

const char* kUsage = N_(
    "Usage: orvane-menu [--kind items|container|sidebar|toolbar] [--json] [PATH...]\n"
    "       orvane-menu [--kind KIND] --explain [PATH...]\n"
    "       orvane-menu [--kind KIND] --run ACTION PATH...\n"
    "       orvane-menu --export|--unexport nemo|thunar|dolphin|all\n"
    "       orvane-menu --watch\n"
    "\n"
    "Prints the Orvane menu that the file manager shows for the given files, or runs one of its\n"
    "actions on them.\n"
    "\n"
    "Menu kinds:\n"
    "  items      the context menu of the selected PATHs (the default)\n"
    "  container  the context menu of a folder's background: the first PATH is that folder\n"
    "  sidebar    the context menu of a sidebar entry: the first PATH is that entry\n"
    "  toolbar    the menu of the toolbar button for the selected PATHs\n"
    "Without a PATH the current folder is the clicked folder, for every kind.\n"
    "\n"
    "Options:\n"
    "  --kind KIND    which menu to answer (see above)\n"
    "  --json         print the menu as JSON: an array of objects with \"title\", \"identifier\",\n"
    "                 \"icon\", \"enabled\" and \"submenu\" (null or a nested array)\n"
    "  --explain      print the menu, then every action it leaves out and why: turned off,\n"
    "                 in a group turned off, or not for files of these types\n"
    "  --run ACTION   run ACTION on the PATHs exactly as if it had been chosen in the menu.\n"
    "                 ACTION is an action's uid (as in \"identifier\" without \"ov_\") or its title;\n"
    "                 an action inside a group is named \"Group title/Action title\", for example\n"
    "                 \"Move to a folder/Documents\". Only actions the menu offers for these PATHs\n"
    "                 can be run.\n"
    "  --export FM    show the Orvane menu in another file manager too (nemo, thunar, dolphin\n"
    "                 or all): writes its action files and keeps them up to date while an\n"
    "                 Orvane program runs; the choice is stored in Orvane's preferences\n"
    "  --unexport FM  remove the Orvane menu from that file manager again\n"
    "  --watch        stay and update the exported menus whenever the actions or the\n"
    "                 preferences change, until ended or no export is on (with none on,\n"
    "                 leave at once)\n"
    "  -h, --help     show this help\n"
    "\n"
    "The outline shows one item per line, indented by two spaces per submenu level; items that\n"
    "cannot be chosen end in \"(disabled)\". Relative PATHs are taken from the current folder.\n"
    "\n"
    "While the extension is turned off in Orvane, the menus are empty and nothing can be run.\n"
    "\n"
    "Exit status: 0 on success, 1 when a PATH does not exist, the action list cannot be read,\n"
    "the ACTION is unknown, the extension is turned off or the request could not be handed to\n"
    "the runner, 2 for bad usage.\n");

struct Streams {
    std::ostream& out;
    std::ostream& err;

    void fail(const std::string& message) const { err << "orvane-menu: " << message << "\n"; }

    int usageError(const std::string& message) const
    {
        fail(message);
        err << _("Try 'orvane-menu --help' for more information.") << "\n";
        return 2;
    }
};

std::optional<FIMenuKind> parseKind(const std::string& name)
{
    if (name == "items")
        return FIMenuKind::ContextualMenuForItems;
    if (name == "container")
        return FIMenuKind::ContextualMenuForContainer;
    if (name == "sidebar")
        return FIMenuKind::ContextualMenuForSidebar;
    if (name == "toolbar")
        return FIMenuKind::ToolbarItemMenu;
    return std::nullopt;
}

// The value of "NAME VALUE" (the next argument, and i moves on to it) or of "NAME=VALUE"; none
// when NAME is the last argument.
std::optional<std::string> optionValue(const std::string& arg, const std::string& name, int argc,
                                       const char* const* argv, int& i)
{
    if (arg != name)
        return arg.substr(name.size() + 1);
    if (++i >= argc)
        return std::nullopt;
    return std::string(argv[i]);
}

// The menu item that ACTION names: a uid (with or without "ov_"), a top-level title, or
// "group/child" titles. Groups may have "/" in their titles, so each group title is tried as a
// prefix.
const OVMenuItem* findItem(const OVMenu& menu, const std::string& action)
{
    const std::string selector = action.starts_with(FinderSync::kSelectorPrefix)
                                     ? action
                                     : std::string(FinderSync::kSelectorPrefix) + action;
    for (const auto& item : menu.items) {
        if (item.hasAction() && item.identifier == selector)
            return &item;
        if (item.submenu) {
            for (const auto& child : item.submenu->items) {
                if (child.hasAction() && child.identifier == selector)
                    return &child;
            }
        }
    }
    for (const auto& item : menu.items) {
        if (item.hasAction() && item.title == action)
            return &item;
    }
    for (const auto& item : menu.items) {
        if (!item.submenu || !action.starts_with(item.title + "/"))
            continue;
        const std::string rest = action.substr(item.title.size() + 1);
        for (const auto& child : item.submenu->items) {
            if (child.hasAction() && child.title == rest)
                return &child;
        }
    }
    return nullptr;
}

struct StoreEntry {
    OVActionPtr action;
    OVActionPtr group; // the group that holds it, or none
};

// The stored action that ACTION names, enabled or not, to tell a hidden action from an unknown one.
std::optional<StoreEntry> findInStore(const OVActionList& actions, const std::string& action)
{
    const std::string uid =
        action.starts_with(FinderSync::kSelectorPrefix) ? action.substr(std::strlen(FinderSync::kSelectorPrefix)) : action;
    for (const auto& a : actions) {
        if (!a)
            continue;
        const std::string title = a->title().value_or("");
        if (a->uid() == uid || title == action)
            return StoreEntry{a, nullptr};
        if (auto* group = dynamic_cast<const OVActionGroup*>(a.get())) {
            for (const auto& child : group->actions()) {
                if (child && (child->uid() == uid || title + "/" + child->title().value_or("") == action))
                    return StoreEntry{child, a};
            }
        }
    }
    return std::nullopt;
}

std::string shownText(const std::string& text) { return "'" + menuSafeTitle(text) + "'"; }

// Why the menu leaves a stored action out for these files, as the menu itself decided. Another
// file manager's filter is coarser than the menu's, so its entries can ask for what the menu
// would not offer.
std::string whyNotOffered(FinderSync& finderSync, const StoreEntry& entry)
{
    FinderSync::Omissions omitted;
    finderSync.actionMenu(&omitted);
    for (const auto& omission : omitted) {
        if (omission.action == entry.action)
            return omission.reason;
    }
    return _("it does not fit these files");
}

// --export / --unexport: TARGET is one file manager or "all".
int changeExports(const Streams& io, const std::string& target, bool enable)
{
    std::vector<OVFileManager> fileManagers;
    if (target == "all") {
        fileManagers = allFileManagers();
    } else if (auto fileManager = fileManagerNamed(target)) {
        fileManagers.push_back(*fileManager);
    } else {
        return io.usageError(ov::stringPrintf(_("unknown file manager '%s': use nemo, thunar, dolphin or all"), target.c_str()));
    }
    bool ok = true;
    for (auto fileManager : fileManagers) {
        std::string error;
        if (!OVMenuExporter::setExportEnabled(fileManager, enable, &error)) {
            io.fail(error);
            ok = false;
        }
    }
    if (ok && enable && !ov::PluginElectionReader(ov::kExtensionId).isElectedForUse())
        io.fail(_("the Orvane extension is turned off: the menu appears once it is turned on again"));
    return ok ? 0 : 1;
}

int watch()
{
    // Started at login for every user of the machine: one who never turned an export on gets
    // nothing from it, not even a folder. The status page starts it again when one is turned on.
    // An export switched on again just as this one was leaving finds it gone or still here: the
    // lock is let go before the last look, so one of the two stays.
    while (OVMenuExporter::anyExportTurnedOn()) {
        // One watcher a session: a copy started while one runs leaves.
        ov::FileLock single(OVMenuExporter::sessionWatcherLockPath(), ov::FileLock::Mode::Exclusive, /*wait=*/false);
        if (!single.locked())
            return 0;
        bool noneOn = false;
        auto watcher = OVMenuExporter::Watcher::create([&noneOn] {
            // The refresh that found every export off has removed the files: nothing is left to keep.
            noneOn = true;
            ov::endMainUntilTerminated();
        });
        if (!noneOn)
            ov::runMainUntilTerminated();
        if (!noneOn)
            return 0; // asked to end
    }
    return 0;
}

int runCommand(const Streams& io, int argc, const char* const* argv)
{
    std::optional<FIMenuKind> kind;
    bool json = false;
    bool explain = false;
    std::optional<std::string> action;
    std::vector<std::string> paths;
    bool optionsEnded = false;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            paths.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            io.out << _(kUsage);
            return 0;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--explain") {
            explain = true;
        } else if (arg == "--export" || arg == "--unexport") {
            if (++i >= argc)
                return io.usageError(ov::stringPrintf(_("%s needs a file manager: nemo, thunar, dolphin or all"), arg.c_str()));
            return changeExports(io, argv[i], arg == "--export");
        } else if (arg == "--watch") {
            return watch();
        } else if (arg == "--kind" || arg.starts_with("--kind=")) {
            const auto value = optionValue(arg, "--kind", argc, argv, i);
            if (!value)
                return io.usageError(_("--kind needs a value: items, container, sidebar or toolbar"));
            kind = parseKind(*value);
            if (!kind)
                return io.usageError(ov::stringPrintf(_("unknown menu kind '%s': use items, container, sidebar or toolbar"), value->c_str()));
        } else if (arg == "--run" || arg.starts_with("--run=")) {
            action = optionValue(arg, "--run", argc, argv, i);
            if (!action || action->empty())
                return io.usageError(_("--run needs an action"));
        } else {
            return io.usageError(ov::stringPrintf(_("unknown option '%s'"), arg.c_str()));
        }
    }
    if (action && paths.empty())
        return io.usageError(_("--run needs at least one PATH"));
    if (action && json)
        return io.usageError(_("--json and --run cannot be combined"));
    if (explain && (json || action))
        return io.usageError(_("--explain cannot be combined with --json or --run"));

    for (auto& path : paths) {
        path = FinderSync::plainAbsolutePath(path);
        if (!ov::pathExists(path)) {
            io.fail(ov::stringPrintf(_("no such file or folder: %s"), path.c_str()));
            return 1;
        }
    }

    auto finderSync = FinderSync::create();
    if (finderSync->actionsLoadFailed()) {
        io.fail(ov::stringPrintf(_("the action list %s cannot be read; open Orvane to repair it"), OVActionsManager::saveURL().c_str()));
        return 1;
    }

    const FIMenuKind menuKind = kind.value_or(FIMenuKind::ContextualMenuForItems);
    const bool targetsFolder =
        menuKind == FIMenuKind::ContextualMenuForContainer || menuKind == FIMenuKind::ContextualMenuForSidebar;
    if (paths.empty()) {
        std::error_code ec;
        std::string cwd = std::filesystem::current_path(ec).string();
        if (ec) {
            io.fail(ov::stringPrintf(_("cannot determine the current folder: %s"), ec.message().c_str()));
            return 1;
        }
        finderSync->setSelection({}, cwd);
    } else if (targetsFolder) {
        if (paths.size() > 1)
            io.fail(ov::stringPrintf(menuKind == FIMenuKind::ContextualMenuForSidebar
                                         ? _("the sidebar menu is for one folder; using %s")
                                         : _("the container menu is for one folder; using %s"),
                                     paths.front().c_str()));
        finderSync->setSelection({}, paths.front());
    } else {
        finderSync->setSelection(paths, std::nullopt);
    }

    if (explain) {
        io.out << OVMenuExplanation::explain(*finderSync, menuKind).text();
        return 0;
    }
    if (!action) {
        OVMenu menu = finderSync->menuForMenuKind(menuKind);
        if (json)
            io.out << menuJSON(menu).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
        else
            io.out << menuOutline(menu);
        return 0;
    }

    if (!finderSync->isElectedForUse()) {
        io.fail("the Orvane extension is turned off; turn it on in Orvane to run its actions");
        return 1;
    }
    const OVMenu offered = finderSync->actionMenu();
    const OVMenuItem* item = findItem(offered, *action);
    if (!item) {
        if (auto entry = findInStore(finderSync->actionsArray(), *action))
            io.fail("the action " + shownText(*action) + " is not offered for these files: " + whyNotOffered(*finderSync, *entry));
        else
            io.fail("unknown action " + shownText(*action));
        return 1;
    }

    // The request must be handed over before the process ends, or the runner may never see it.
    bool finished = false;
    bool succeeded = false;
    std::string error;
    const bool claimed = finderSync->performSelector(item->identifier, [&](bool ok, const std::string& message) {
        finished = true;
        succeeded = ok;
        error = message;
    });
    if (!claimed) {
        io.fail("the action '" + *action + "' cannot be run");
        return 1;
    }
    if (!ov::iterateMainUntil([&] { return finished; }, kLaunchTimeoutMs)) {
        io.fail("the runner did not take the request in time");
        return 1;
    }
    if (!succeeded) {
        io.fail("could not hand the request to the runner: " + error);
        return 1;
    }
    return 0;
}

} // namespace

namespace OVMenuCommand {

int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    const Streams io{out, err};
    try {
        return runCommand(io, argc, argv);
    } catch (const std::exception& e) {
        io.fail(e.what());
    } catch (...) {
        io.fail("unexpected failure");
    }
    return 1;
}

} // namespace OVMenuCommand
