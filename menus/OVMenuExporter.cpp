// SPDX-License-Identifier: GPL-3.0-or-later
#include "menus/OVMenuExporter.h"

#include "messaging/OVProtocol.h"
#include "model/OVActionsManager.h"
#include "model/OVFirstRunCatalogue.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/PluginRegistry.h"
#include "platform/Process.h"
#include "platform/ProductPaths.h"
#include "platform/RunningApplications.h"
#include "platform/ToolPaths.h"
#include "platform/Translation.h"
#include "platform/UserFolders.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>

namespace OVMenuExporter {
namespace {

constexpr std::size_t kMaxThunarFileSize = 16u << 20;

void addError(std::string* error, const std::string& message)
{
    if (!error)
        return;
    if (!error->empty())
        *error += "\n";
    *error += message;
}

const char* folderSuffix(OVFileManager fileManager)
{
    return fileManager == OVFileManager::Nemo ? ".nemo_action" : ".desktop";
}

bool isOurFile(OVFileManager fileManager, const std::string& name)
{
    return name.starts_with(kExportFilePrefix) && name.ends_with(folderSuffix(fileManager));
}

// The file a link points to, so that a uca.xml kept elsewhere (a dotfiles folder) stays there.
std::string resolvedPath(const std::string& path)
{
    std::error_code ec;
    auto target = std::filesystem::canonical(path, ec);
    return ec ? path : target.string();
}

bool writeFolderExport(OVFileManager fileManager, const std::vector<OVExportFile>& files, std::string* error)
{
    const std::string folder = exportPath(fileManager);
    if (!files.empty() && !ov::makeDirectories(folder)) {
        addError(error, ov::stringPrintf(_("cannot create %s"), folder.c_str()));
        return false;
    }
    std::map<std::string, const OVExportFile*> wanted;
    for (const auto& file : files)
        wanted[file.name] = &file;

    bool ok = true;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const auto& entry = *it;
        const std::string name = entry.path().filename().string();
        if (!isOurFile(fileManager, name) || wanted.count(name))
            continue;
        std::error_code removeError;
        if (!std::filesystem::remove(entry.path(), removeError) && removeError) {
            addError(error, ov::stringPrintf(_("cannot remove %s"), entry.path().c_str()));
            ok = false;
        }
    }
    for (const auto& file : files) {
        const std::string path = ov::pathByAppending(folder, file.name);
        const unsigned mode = file.executable ? 0755 : 0644;
        struct stat st {};
        const bool sameMode = ::lstat(path.c_str(), &st) == 0 && (st.st_mode & 07777) == mode;
        if (sameMode && ov::readFile(path, file.contents.size() + 1, false) == file.contents)
            continue;
        // Written again from the store whenever it changes, so no flush is worth its wait.
        std::string writeError;
        if (!ov::writeFileAtomically(path, file.contents, mode, &writeError, false)) {
            addError(error, writeError);
            ok = false;
        }
    }
    return ok;
}

bool writeThunarExport(const std::string& elements, std::string* error)
{
    const std::string path = resolvedPath(exportPath(OVFileManager::Thunar));
    std::optional<std::string> existing;
    unsigned mode = 0644;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        existing = ov::readFile(path, kMaxThunarFileSize);
        if (!existing) {
            addError(error, ov::stringPrintf(_("cannot read %s"), path.c_str()));
            return false;
        }
        mode = st.st_mode & 0777;
        // Nothing of Orvane's to take out: the file is not even parsed, however it looks.
        if (elements.empty() && existing->find(kThunarIdPrefix) == std::string::npos)
            return true;
    } else if (elements.empty()) {
        return true;
    }
    std::string mergeError;
    auto merged = mergeThunarActions(existing, elements, &mergeError);
    if (!merged) {
        addError(error, path + " is left as it is: " + mergeError);
        return false;
    }
    if (existing && *merged == *existing)
        return true;
    if (!ov::makeDirectories(ov::deletingLastPathComponent(path))) {
        addError(error, ov::stringPrintf(_("cannot create the folder of %s"), path.c_str()));
        return false;
    }
    // The user's own actions live in this file too: it is flushed before it replaces the old one.
    std::string writeError;
    if (!ov::writeFileAtomically(path, *merged, mode, &writeError)) {
        addError(error, writeError);
        return false;
    }
    return true;
}

std::string titleOf(OVFileManager fileManager)
{
    switch (fileManager) {
    case OVFileManager::Nemo: return "Nemo";
    case OVFileManager::Thunar: return "Thunar";
    case OVFileManager::Dolphin: return "Dolphin";
    }
    return {};
}

} // namespace

std::string exportPath(OVFileManager fileManager)
{
    switch (fileManager) {
    case OVFileManager::Nemo: return ov::userDataDir() + "/nemo/actions";
    case OVFileManager::Thunar: return ov::userConfigDir() + "/Thunar/uca.xml";
    case OVFileManager::Dolphin: return ov::userDataDir() + "/kio/servicemenus";
    }
    return {};
}

std::string menuCommand() { return ov::programPath("orvane-menu", "extension"); }

bool writeExport(OVFileManager fileManager, const OVExportMenu& menu, std::string* error)
{
    switch (fileManager) {
    case OVFileManager::Nemo: return writeFolderExport(fileManager, nemoActionFiles(menu), error);
    case OVFileManager::Thunar: return writeThunarExport(thunarActionElements(menu), error);
    case OVFileManager::Dolphin: return writeFolderExport(fileManager, dolphinServiceMenus(menu), error);
    }
    return false;
}

bool removeExport(OVFileManager fileManager, std::string* error)
{
    if (fileManager == OVFileManager::Thunar)
        return writeThunarExport({}, error);
    return writeFolderExport(fileManager, {}, error);
}

std::vector<FileManagerState> fileManagerStates(bool installedOnly)
{
    auto defaults = OVUserDefaults::create();
    std::vector<FileManagerState> states;
    for (auto fileManager : allFileManagers()) {
        FileManagerState state{fileManager, fileManagerName(fileManager), titleOf(fileManager)};
        state.installed = !ov::findProgramInPath(state.name).empty();
        state.exported = defaults->exportsMenuTo(state.name);
        if (state.installed || !installedOnly)
            states.push_back(std::move(state));
    }
    return states;
}

bool setExportEnabled(OVFileManager fileManager, bool enabled, std::string* error)
{
    OVUserDefaults::create()->setExportsMenuTo(fileManagerName(fileManager), enabled);
    return refreshExports(error);
}

bool anyExportTurnedOn()
{
    auto defaults = OVUserDefaults::create();
    for (auto fileManager : allFileManagers())
        if (defaults->exportsMenuTo(fileManagerName(fileManager)))
            return true;
    return false;
}

namespace {
std::optional<std::function<void()>>& watcherStarter()
{
    static std::optional<std::function<void()>> starter; // main context only
    return starter;
}
} // namespace

void startSessionWatcher()
{
    if (watcherStarter()) {
        (*watcherStarter())();
        return;
    }
    std::string error;
    if (!ov::startDetached({menuCommand(), "--watch"}, &error))
        ov::ovLogLine("Could not start the watcher of the exported menus: " + error);
}

void setSessionWatcherStarter(std::optional<std::function<void()>> starter) { watcherStarter() = std::move(starter); }

std::string sessionWatcherLockPath() { return ov::pathByAppending(ov::containerPath(), "menu-export-watcher.lock"); }

namespace {

// anyTurnedOn: whether this very reading of the preferences had an export turned on, so that a
// watcher never leaves on a later reading than the one its files were made from.
bool refreshExportsReading(std::string* error, bool* anyTurnedOn)
{
    auto defaults = OVUserDefaults::create();
    const bool elected = ov::PluginElectionReader(ov::kExtensionId).isElectedForUse();
    bool anyOn = false;
    *anyTurnedOn = false;
    for (auto fileManager : allFileManagers()) {
        const bool turnedOn = defaults->exportsMenuTo(fileManagerName(fileManager));
        *anyTurnedOn = *anyTurnedOn || turnedOn;
        anyOn = anyOn || (elected && turnedOn);
    }

    std::optional<OVExportMenu> menu;
    if (anyOn) {
        auto store = OVFirstRunCatalogue::loadStore();
        if (!store) {
            // The last export stays: a menu that still works beats one that vanished.
            addError(error, ov::stringPrintf(_("the action list %s cannot be read; the exported menus are left as they are"),
                                            OVActionsManager::saveURL().c_str()));
            return false;
        }
        menu = exportMenu(store->actions(), defaults->useSubmenu(), menuCommand());
    }
    bool ok = true;
    for (auto fileManager : allFileManagers()) {
        const bool on = elected && defaults->exportsMenuTo(fileManagerName(fileManager));
        ok = (on ? writeExport(fileManager, *menu, error) : removeExport(fileManager, error)) && ok;
    }
    return ok;
}

} // namespace

bool refreshExports(std::string* error)
{
    bool anyTurnedOn = false;
    return refreshExportsReading(error, &anyTurnedOn);
}

std::unique_ptr<Watcher> Watcher::create(std::function<void()> whenNoneOn)
{
    std::unique_ptr<Watcher> watcher(new Watcher());
    auto refresh = [counter = std::weak_ptr<unsigned>(watcher->refreshes_), whenNoneOn] {
        ov::guarded("refreshing the exported menus", [&counter, &whenNoneOn] {
            std::string error;
            bool anyTurnedOn = false;
            if (!refreshExportsReading(&error, &anyTurnedOn))
                ov::ovLogLine("Could not update the exported menus: " + error);
            if (auto count = counter.lock())
                ++*count;
            if (whenNoneOn && !anyTurnedOn)
                whenNoneOn();
        });
    };
    watcher->wormhole_ = OVProtocol::listenForChanges(refresh, refresh);
    if (!watcher->wormhole_)
        ov::ovLogLine("Could not listen for changes: the shared container cannot be located");
    watcher->restartListener_ = ov::TerminationRequestListener::create(ov::kExtensionId, refresh);
    watcher->electionWatcher_ = ov::PluginElectionWatcher::create(refresh);
    refresh();
    return watcher;
}

Watcher::~Watcher() = default;

} // namespace OVMenuExporter
