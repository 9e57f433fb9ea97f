// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVImageIcon.h"

#include "model/OVThemeIcons.h"
#include "platform/GRef.h"

#include <vector>

namespace ovsettings {

void setImage(GtkImage* view, const std::optional<OVImage>& image, int pixelSize)
{
    gtk_image_set_pixel_size(view, pixelSize);
    if (!image || image->isEmpty()) {
        gtk_image_clear(view);
        return;
    }
    if (!image->serialized().empty()) {
        GError* raw = nullptr;
        ov::GRef<GIcon> icon;
        if (auto names = OVThemeIcons::lookupNames(image->serialized()); !names.empty()) {
            std::vector<char*> list;
            for (auto& name : names)
                list.push_back(name.data());
            list.push_back(nullptr);
            icon.reset(g_themed_icon_new_from_names(list.data(), -1));
        } else {
            icon.reset(g_icon_new_for_string(image->serialized().c_str(), &raw));
        }
        ov::GErrorPtr error(raw);
        if (icon)
            gtk_image_set_from_gicon(view, icon.get());
        else
            gtk_image_clear(view);
        return;
    }
    // Stored bytes are whatever the file held: the decoder refuses what is not an image.
    ov::GBytesPtr bytes(g_bytes_new(image->pngData().data(), image->pngData().size()));
    GError* raw = nullptr;
    ov::GRef<GdkTexture> texture(gdk_texture_new_from_bytes(bytes.get(), &raw));
    ov::GErrorPtr error(raw);
    if (texture)
        gtk_image_set_from_paintable(view, GDK_PAINTABLE(texture.get()));
    else
        gtk_image_clear(view);
}

} // namespace ovsettings
