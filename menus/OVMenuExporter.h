// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the Orvane menu of other file managers in step with the store: writes and removes the
// exported files, remembers in the shared preferences which file managers get them, and listens
// for the changes that call for a new export.
#pragma once

#include "menus/OVMenuExport.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class OVWormhole;
namespace ov {
class PluginElectionWatcher;
class TerminationRequestListener;
} // namespace ov

namespace OVMenuExporter {

// Where the files go: $XDG_DATA_HOME/nemo/actions, $XDG_CONFIG_HOME/Thunar/uca.xml,
// $XDG_DATA_HOME/kio/servicemenus.
std::string exportPath(OVFileManager fileManager);
// The orvane-menu that the exported entries run.
std::string menuCommand();

// Replaces Orvane's files of one format with those of the menu; files that are no longer part of
// it are removed, unchanged files are left alone. False (and *error) when a file could not be
// written.
bool writeExport(OVFileManager fileManager, const OVExportMenu& menu, std::string* error = nullptr);
// Removes Orvane's files of one format (and only those).
bool removeExport(OVFileManager fileManager, std::string* error = nullptr);

// What the status page shows: one row per file manager found in PATH.
struct FileManagerState {
    OVFileManager fileManager;
    std::string name;  // "nemo"
    std::string title; // "Nemo"
    bool installed = false;
    bool exported = false; // the preference: the menu is kept up to date there
};
std::vector<FileManagerState> fileManagerStates(bool installedOnly = true);
// The status page's switch: stores the choice and writes or removes the files at once.
bool setExportEnabled(OVFileManager fileManager, bool enabled, std::string* error = nullptr);

// Whether the user has turned the export on for any file manager (whatever the extension's
// election). Reads the preferences only; creates nothing.
bool anyExportTurnedOn();

// Makes sure the session's watcher (orvane-menu --watch) runs, as it does from login on once an
// export is on: it is started, and a second copy leaves at once. The status page calls this when
// an export is switched on.
void startSessionWatcher();
// Test hook: when set, startSessionWatcher calls this instead of starting a process.
void setSessionWatcherStarter(std::optional<std::function<void()>> starter);
// The lock file that the running session watcher holds.
std::string sessionWatcherLockPath();

// Reads the store, the preferences and the extension's election afresh and brings every format
// in line: the menu where its export is on, nothing where it is off or the extension is ignored.
// False (and *error, one line per failure) when a format could not be brought in line.
bool refreshExports(std::string* error = nullptr);

// Calls refreshExports whenever the store or the preferences change, the extension is turned on
// or off, or it is asked to restart. Lives as long as it is kept.
class Watcher {
public:
    // whenNoneOn, when given, runs after a refresh that found no export turned on.
    static std::unique_ptr<Watcher> create(std::function<void()> whenNoneOn = {});
    ~Watcher();
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    // Refreshes so far, for tests and benchmarks.
    unsigned refreshCount() const { return *refreshes_; }

private:
    Watcher() = default;
    std::shared_ptr<unsigned> refreshes_ = std::make_shared<unsigned>(0);
    std::shared_ptr<OVWormhole> wormhole_;
    std::unique_ptr<ov::TerminationRequestListener> restartListener_;
    std::unique_ptr<ov::PluginElectionWatcher> electionWatcher_;
};

} // namespace OVMenuExporter
