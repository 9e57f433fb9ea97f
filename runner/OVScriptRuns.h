// SPDX-License-Identifier: GPL-3.0-or-later
// Script runs as the user sees them: what a script is told of the selection, the window of the
// runs that take a while, Stop, and the notification of how a run ended.
#pragma once

#include "model/OVAction.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class OVScriptRunsWindowController;

namespace OVScriptRuns {

struct Timing {
    double windowDelaySeconds = 1.0; // a run still going then gets a line in the window
    double killDelaySeconds = 3.0;   // after Stop's SIGTERM, SIGKILL for what is left
    double quietSeconds = 10.0;      // a success that took longer is told
};
// Tests shorten them.
Timing& timing();

inline constexpr const char* kSelectedPathsVariable = "ORVANE_SELECTED_FILE_PATHS";
inline constexpr const char* kCurrentFolderVariable = "ORVANE_CURRENT_FOLDER";

// The folder a script is told it was started in: the one the request names, else the folder
// of the first path (a request of an older extension does not say whether a folder was
// selected or its background clicked).
std::string currentFolderFor(const OVPaths& paths, const std::optional<std::string>& requested);
// The variables set for a script. The paths are newline-separated; a path holding a newline
// would read as two other paths there, so it is left out of the list (it stays in the
// arguments, which carry every path whole).
std::vector<std::pair<std::string, std::string>> environmentFor(const OVPaths& paths, const std::string& currentFolder);

// The folder named by the request whose action is being started, for the runs that start while
// this lives (on the main context).
class ScopedCurrentFolder {
public:
    explicit ScopedCurrentFolder(std::optional<std::string> folder);
    ~ScopedCurrentFolder();
    ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
    ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

private:
    std::optional<std::string> previous_;
};
std::optional<std::string> requestedCurrentFolder();

// The ids (process group ids) of the runs going on.
std::vector<long long> runIds();
// What Stop does: SIGTERM to the run's process group, SIGKILL to what is left of it after
// killDelaySeconds. False when no run has that id.
bool stop(long long id);
// The window, while it shows a run.
std::shared_ptr<OVScriptRunsWindowController> window();

} // namespace OVScriptRuns
