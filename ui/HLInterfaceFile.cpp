// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HLInterfaceFile.h"

#include "platform/GuiResources.h"
#include "platform/Log.h"
#include "platform/Translation.h"

#include <map>

namespace hl {

std::optional<std::string> interfaceResourceForClassChain(const std::vector<std::string>& chain)
{
    if (chain.empty())
        return std::nullopt;
    static std::map<std::string, std::string> found; // main thread only
    if (auto it = found.find(chain.front()); it != found.end())
        return it->second;
    ov::registerResources();
    for (const auto& name : chain) {
        const std::string path = std::string(ov::kResourcePrefix) + "ui/" + name + ".ui";
        if (g_resources_get_info(path.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr, nullptr, nullptr)) {
            found.emplace(chain.front(), path);
            return path;
        }
    }
    // Not remembered: a class without a file is looked up again next time.
    return std::nullopt;
}

namespace {

// A button that shows only an icon is read out by its tooltip: a screen reader has nothing else
// to say for it. A menu button draws itself with a button inside, which is read out as well.
void nameIconButtons(GtkBuilder* builder)
{
    GSList* objects = gtk_builder_get_objects(builder);
    for (GSList* o = objects; o; o = o->next) {
        if (!GTK_IS_BUTTON(o->data) && !GTK_IS_MENU_BUTTON(o->data))
            continue;
        GtkWidget* button = GTK_WIDGET(o->data);
        const char* label = GTK_IS_BUTTON(button) ? gtk_button_get_label(GTK_BUTTON(button))
                                                  : gtk_menu_button_get_label(GTK_MENU_BUTTON(button));
        const char* tooltip = gtk_widget_get_tooltip_text(button);
        if ((label && *label) || !tooltip || !*tooltip)
            continue;
        gtk_accessible_update_property(GTK_ACCESSIBLE(button), GTK_ACCESSIBLE_PROPERTY_LABEL, tooltip, -1);
        if (GTK_IS_MENU_BUTTON(button))
            if (GtkWidget* inner = gtk_widget_get_first_child(button); inner && GTK_IS_BUTTON(inner))
                gtk_accessible_update_property(GTK_ACCESSIBLE(inner), GTK_ACCESSIBLE_PROPERTY_LABEL, tooltip, -1);
    }
    g_slist_free(objects);
}

} // namespace

GtkBuilder* builderForClassChain(const std::vector<std::string>& chain)
{
    auto path = interfaceResourceForClassChain(chain);
    if (!path)
        return nullptr;
    GtkBuilder* builder = gtk_builder_new();
    gtk_builder_set_translation_domain(builder, ov::kTextDomain);
    GError* error = nullptr;
    if (!gtk_builder_add_from_resource(builder, path->c_str(), &error)) {
        ov::ovLog("Could not load the interface %s: %s", path->c_str(), error ? error->message : "unknown error");
        g_clear_error(&error);
        g_object_unref(builder);
        return nullptr;
    }
    nameIconButtons(builder);
    return builder;
}

} // namespace hl
