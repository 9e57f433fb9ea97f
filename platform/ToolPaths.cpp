// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ToolPaths.h"

#include "platform/Files.h"

#include <glib.h>
#include <unistd.h>

#include <cstdlib>

namespace ov {
namespace {

std::string programFolder()
{
    gchar* target = g_file_read_link("/proc/self/exe", nullptr);
    if (!target)
        return {};
    std::string folder = deletingLastPathComponent(target);
    g_free(target);
    return folder;
}

bool isExecutable(const std::string& path) { return ::access(path.c_str(), X_OK) == 0 && !isDirectory(path); }

} // namespace

std::string toolPath(const std::string& name)
{
    if (const char* dir = std::getenv("ORVANE_TOOLS_DIR"); dir && *dir)
        return pathByAppending(dir, name);
    const std::string folder = programFolder();
    if (folder.empty())
        return pathByAppending(ORVANE_LIBEXECDIR, name);
    std::string beside = pathByAppending(folder, name);
    if (isExecutable(beside))
        return beside;
    std::string buildTree = pathByAppending(deletingLastPathComponent(folder), "tools/" + name);
    if (isExecutable(buildTree))
        return buildTree;
    return beside;
}

std::string programPath(const std::string& name, const std::string& buildFolder)
{
    const std::string folder = programFolder();
    if (!folder.empty()) {
        std::string beside = pathByAppending(folder, name);
        if (isExecutable(beside))
            return beside;
        std::string buildTree = pathByAppending(deletingLastPathComponent(folder), buildFolder + "/" + name);
        if (isExecutable(buildTree))
            return buildTree;
    }
    return pathByAppending(ORVANE_BINDIR, name);
}

std::string runningProgramPath()
{
    gchar* target = g_file_read_link("/proc/self/exe", nullptr);
    std::string path = target ? target : "";
    g_free(target);
    return path;
}

std::string findProgramInPath(const std::string& name)
{
    gchar* found = g_find_program_in_path(name.c_str());
    std::string path = found ? found : "";
    g_free(found);
    return path;
}

} // namespace ov
