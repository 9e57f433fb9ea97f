// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/UserFolders.h"

#include "platform/Files.h"

#include <glib.h>

namespace ov {

std::string userDataDir()
{
    const char* env = g_getenv("XDG_DATA_HOME");
    if (env && *env && g_path_is_absolute(env))
        return env;
    return pathByAppending(g_get_home_dir(), ".local/share");
}

std::string userConfigDir()
{
    const char* env = g_getenv("XDG_CONFIG_HOME");
    if (env && *env && g_path_is_absolute(env))
        return env;
    return pathByAppending(g_get_home_dir(), ".config");
}

std::string userCacheDir()
{
    const char* env = g_getenv("XDG_CACHE_HOME");
    if (env && *env && g_path_is_absolute(env))
        return env;
    return pathByAppending(g_get_home_dir(), ".cache");
}

std::string userDirectory(UserDirectory kind)
{
    GUserDirectory glibKind = G_USER_DIRECTORY_DESKTOP;
    const char* fallback = "Desktop";
    switch (kind) {
    case UserDirectory::Desktop:
        break;
    case UserDirectory::Documents:
        glibKind = G_USER_DIRECTORY_DOCUMENTS;
        fallback = "Documents";
        break;
    case UserDirectory::Pictures:
        glibKind = G_USER_DIRECTORY_PICTURES;
        fallback = "Pictures";
        break;
    }
    if (const char* dir = g_get_user_special_dir(glibKind); dir && *dir)
        return withoutTrailingSlashes(dir);
    return pathByAppending(g_get_home_dir(), fallback);
}

} // namespace ov
