// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProductPaths.h"

#include "platform/Files.h"
#include "platform/UserFolders.h"

#include <glib.h>

#include <unistd.h>

namespace ov {

std::string containerPathForGroup(const std::string& groupIdentifier)
{
    std::string path = pathByAppending(userDataDir(), groupIdentifier);
    if (!isDirectory(path))
        g_mkdir_with_parents(path.c_str(), 0700);
    return path;
}

std::string containerPath() { return containerPathForGroup(kApplicationGroupIdentifier); }

namespace {
// Uninstalled, the executable sits in the build tree: the folder above it that holds the staged
// resources. Empty when installed.
std::string buildTreeRoot()
{
    char exe[4096];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return {};
    exe[n] = '\0';
    std::string dir = deletingLastPathComponent(exe);
    for (int up = 0; up < 3 && !dir.empty(); ++up) {
        if (isDirectory(pathByAppending(dir, "resources/share-orvane")))
            return dir;
        dir = deletingLastPathComponent(dir);
    }
    return {};
}

// A data folder: the one the environment variable names, the build tree's when run uninstalled,
// else the installed one.
std::string dataFolder(const char* variable, const char* inBuildTree, const char* installed)
{
    if (const char* env = g_getenv(variable); env && *env)
        return env;
    if (std::string root = buildTreeRoot(); !root.empty())
        return pathByAppending(root, inBuildTree);
    return installed;
}
} // namespace

std::string resourcesPath() { return dataFolder("ORVANE_RESOURCES_DIR", "resources/share-orvane", ORVANE_DATADIR); }

std::string libexecProgramPath(const std::string& name)
{
    if (const char* env = g_getenv("ORVANE_LIBEXEC_DIR"); env && *env)
        return pathByAppending(env, name);
    if (std::string root = buildTreeRoot(); !root.empty()) {
        for (const char* folder : {"tools", "runner"}) {
            std::string candidate = pathByAppending(pathByAppending(root, folder), name);
            if (isRegularFile(candidate))
                return candidate;
        }
    }
    return pathByAppending(ORVANE_LIBEXECDIR, name);
}

std::string localePath() { return dataFolder("ORVANE_LOCALEDIR", "locale", ORVANE_LOCALEDIR); }

} // namespace ov
