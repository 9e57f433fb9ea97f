// SPDX-License-Identifier: GPL-3.0-or-later
// The local paths a file chooser answered with; none when it was cancelled.
#pragma once

#include "platform/GRef.h"

#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace ovsettings {

inline std::vector<std::string> chosenPaths(GtkNativeDialog* dialog, int response)
{
    std::vector<std::string> paths;
    if (response != GTK_RESPONSE_ACCEPT)
        return paths;
    ov::GRef<GListModel> files(gtk_file_chooser_get_files(GTK_FILE_CHOOSER(dialog)));
    for (guint i = 0; files && i < g_list_model_get_n_items(files.get()); ++i) {
        ov::GRef<GFile> file(G_FILE(g_list_model_get_item(files.get(), i)));
        ov::GCharPtr path(g_file_get_path(file.get()));
        if (path)
            paths.emplace_back(path.get());
    }
    return paths;
}

} // namespace ovsettings
