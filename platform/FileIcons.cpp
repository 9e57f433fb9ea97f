// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileIcons.h"

#include "platform/Files.h"
#include "platform/GRef.h"

#include <gio/gio.h>

namespace ov {
namespace {

GRef<GFileInfo> queryInfo(const std::string& path, const char* attributes)
{
    GRef<GFile> file(g_file_new_for_path(path.c_str()));
    return GRef<GFileInfo>(g_file_query_info(file.get(), attributes, G_FILE_QUERY_INFO_NONE, nullptr, nullptr));
}

std::string iconString(GIcon* icon)
{
    GCharPtr text(icon ? g_icon_to_string(icon) : nullptr);
    return text ? text.get() : "";
}

} // namespace

std::string fileManagerIcon(const std::string& path)
{
    if (GRef<GFileInfo> info = queryInfo(path, G_FILE_ATTRIBUTE_STANDARD_ICON))
        if (std::string icon = iconString(g_file_info_get_icon(info.get())); !icon.empty())
            return icon;
    GCharPtr type(g_content_type_guess(lastPathComponent(path).c_str(), nullptr, 0, nullptr));
    GRef<GIcon> icon(type ? g_content_type_get_icon(type.get()) : nullptr);
    return iconString(icon.get());
}

std::optional<std::string> cachedThumbnailPNG(const std::string& path, std::size_t maxBytes)
{
    GRef<GFileInfo> info = queryInfo(path, G_FILE_ATTRIBUTE_THUMBNAIL_PATH "," G_FILE_ATTRIBUTE_THUMBNAIL_IS_VALID);
    if (!info)
        return std::nullopt;
    const char* thumbnail = g_file_info_get_attribute_byte_string(info.get(), G_FILE_ATTRIBUTE_THUMBNAIL_PATH);
    if (!thumbnail || !*thumbnail)
        return std::nullopt;
    // A thumbnail older than its file shows what the file was.
    if (g_file_info_has_attribute(info.get(), G_FILE_ATTRIBUTE_THUMBNAIL_IS_VALID) &&
        !g_file_info_get_attribute_boolean(info.get(), G_FILE_ATTRIBUTE_THUMBNAIL_IS_VALID))
        return std::nullopt;
    auto png = readFile(thumbnail, maxBytes);
    static const std::string signature("\x89PNG\r\n\x1a\n", 8);
    if (!png || !png->starts_with(signature))
        return std::nullopt;
    return png;
}

} // namespace ov
