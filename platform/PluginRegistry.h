// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user registry of file-manager plug-ins: which versions are registered (manifest files
// in the data folders) and whether the user elected each plug-in for use or to be ignored.
// orvane-pluginkit writes the elections; the extension reads them.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace ov {

enum class PluginElection { None, Use, Ignore };

struct PluginRegistration {
    std::string identifier;
    std::string version;
    std::string manifestPath;
};

// Letters, digits, ".", "-" and "_"; not starting with "." or "-"; at most 255 bytes.
bool isValidPluginIdentifier(const std::string& identifier);

// "<id>.plugin" key files ([Plug-in] Identifier=, Version=) in the user's data folder
// (orvane/plugins) and in the installed data folder (plugins), user's first.
std::vector<std::string> pluginManifestFolders();
// Every registered version of the plug-in, newest first; one entry per version.
std::vector<PluginRegistration> registeredPluginVersions(const std::string& identifier);

// $XDG_CONFIG_HOME/orvane-pluginkit/elections.
std::string pluginElectionsPath();
PluginElection pluginElection(const std::string& identifier);
// Records the election (None forgets it) under a lock, replacing the file atomically.
bool setPluginElection(const std::string& identifier, PluginElection election, std::string* error = nullptr);

// Whether a plug-in may offer anything: a plug-in never elected counts as elected for use. The
// elections file is read again only when it was replaced or changed, so asking costs one stat.
class PluginElectionReader {
public:
    explicit PluginElectionReader(std::string identifier) : identifier_(std::move(identifier)) {}
    bool isElectedForUse();

private:
    struct Stamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        long long modifiedNs = 0;
        long long changedNs = 0;
        bool operator==(const Stamp&) const = default;
    };
    std::string identifier_;
    std::optional<Stamp> stamp_;
    bool electedForUse_ = true;
};

// Calls back on the main context whenever the elections file is written (every election is a
// rename over it), so that a program hears a plug-in being turned off without being asked to quit.
class PluginElectionWatcher {
public:
    // None when the file cannot be watched.
    static std::unique_ptr<PluginElectionWatcher> create(std::function<void()> callback);
    ~PluginElectionWatcher();
    PluginElectionWatcher(const PluginElectionWatcher&) = delete;
    PluginElectionWatcher& operator=(const PluginElectionWatcher&) = delete;

    struct Impl;

private:
    explicit PluginElectionWatcher(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace ov
