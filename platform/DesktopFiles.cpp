// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DesktopFiles.h"

#include "platform/Files.h"
#include "platform/UserFolders.h"

#include <glib.h>

#include <vector>

namespace ov {
namespace {

constexpr const char* kSuffix = ".desktop";

// Read from the environment on every call, as the folders of the shared container are.
std::vector<std::string> applicationFolders()
{
    std::vector<std::string> folders = {pathByAppending(userDataDir(), "applications")};
    const char* dirs = g_getenv("XDG_DATA_DIRS");
    std::string list = dirs && *dirs ? dirs : "/usr/local/share:/usr/share";
    for (std::string::size_type start = 0; start <= list.size();) {
        auto colon = list.find(':', start);
        if (colon == std::string::npos)
            colon = list.size();
        if (colon > start)
            folders.push_back(pathByAppending(list.substr(start, colon - start), "applications"));
        start = colon + 1;
    }
    return folders;
}

bool isApplicationEntry(const std::string& path)
{
    GKeyFile* file = g_key_file_new();
    bool ok = g_key_file_load_from_file(file, path.c_str(), G_KEY_FILE_NONE, nullptr);
    if (ok) {
        gchar* type = g_key_file_get_string(file, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_TYPE, nullptr);
        ok = type && std::string(type) == G_KEY_FILE_DESKTOP_TYPE_APPLICATION;
        g_free(type);
    }
    g_key_file_free(file);
    return ok;
}

} // namespace

std::optional<std::string> desktopFileId(const std::string& path)
{
    std::string trimmed = withoutTrailingSlashes(path);
    std::string name = lastPathComponent(trimmed);
    const std::size_t suffix = std::string(kSuffix).size();
    if (name.size() <= suffix || name.compare(name.size() - suffix, suffix, kSuffix) != 0)
        return std::nullopt;
    if (isDirectory(trimmed) || !isApplicationEntry(trimmed))
        return std::nullopt;
    std::string id = name.substr(0, name.size() - suffix);
    for (const auto& folder : applicationFolders()) {
        std::string prefix = withoutTrailingSlashes(folder) + "/";
        if (trimmed.size() > prefix.size() && trimmed.compare(0, prefix.size(), prefix) == 0) {
            id = trimmed.substr(prefix.size(), trimmed.size() - prefix.size() - suffix);
            for (auto& c : id)
                if (c == '/')
                    c = '-';
            break;
        }
    }
    return id;
}

} // namespace ov
