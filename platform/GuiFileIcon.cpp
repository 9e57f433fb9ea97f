// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/GuiFileIcon.h"

#include "platform/Files.h"
#include "platform/GRef.h"

#include <gio/gio.h>

namespace ov {

GIcon* iconForFile(const std::string& path)
{
    GRef<GFile> file(g_file_new_for_path(path.c_str()));
    GRef<GFileInfo> info(g_file_query_info(file.get(), G_FILE_ATTRIBUTE_STANDARD_ICON, G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS,
                                           nullptr, nullptr));
    if (info) {
        if (GIcon* icon = g_file_info_get_icon(info.get()))
            return G_ICON(g_object_ref(icon));
    }
    const std::string name = lastPathComponent(path);
    GCharPtr type(g_content_type_guess(name.c_str(), nullptr, 0, nullptr));
    return g_content_type_get_icon(type.get());
}

} // namespace ov
