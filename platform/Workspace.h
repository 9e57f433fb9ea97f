// SPDX-License-Identifier: GPL-3.0-or-later
// Desktop services: opening URIs and files, revealing items in the file manager, applications.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

typedef struct _GAppLaunchContext GAppLaunchContext;

namespace ov {

// Opens a URI with its default handler (g_app_info_launch_default_for_uri_async); done(ok, error)
// runs on the main context once the launch request has been sent.
void openURI(const std::string& uri, std::function<void(bool ok, const std::string& error)> done = {});

// Where this process's launches start from: SOURCE answers a new launch context (owned by the
// caller) or null. A program inside a desktop application gives its display's, so what it opens
// gets the activation token of the user's click and comes up focused. Main context only.
using LaunchContextSource = GAppLaunchContext* (*)();
void setLaunchContextSource(LaunchContextSource source);

// Reveals items through org.freedesktop.FileManager1.ShowItems; without a file manager on the
// bus, opens the parent folder of the first item. Safe from any thread (hops to the main context).
void revealFiles(const std::vector<std::string>& paths);

// Opens a new file-manager window at a folder (org.freedesktop.FileManager1.ShowFolders).
void showFolder(const std::string& path);

// Opens a file in the user's text editor: the default application for text/plain, else the
// file's own default handler. Safe from any thread (hops to the main context).
void openInTextEditor(const std::string& path);

// Launches the application of a .desktop file (path or desktop-file id) with the files.
// Answers false and *error when the application cannot be launched.
bool launchApplication(const std::string& desktopFile, const std::vector<std::string>& paths, std::string* error);

// The desktop file (path) of the default handler of a URI scheme, such as "mailto"; none without one.
std::optional<std::string> defaultApplicationForScheme(const std::string& scheme);

// Test hook: when set, revealFiles/showFolder/openURI/openInTextEditor report here instead of using the bus.
struct WorkspaceRecorder {
    std::function<void(const std::string& call, const std::vector<std::string>& args)> record;
};
void setWorkspaceRecorder(std::optional<WorkspaceRecorder> recorder);

} // namespace ov
