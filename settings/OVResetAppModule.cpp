// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVResetAppModule.h"

#include <adwaita.h>

void OVResetAppModule::hl_viewDidLoad()
{
    const auto& edited = action();
    if (!edited)
        return;
    if (auto title = edited->title())
        adw_status_page_set_title(ADW_STATUS_PAGE(view()), title->c_str());
    // Without a description the designed text (how to reset an application) stays.
    if (auto description = edited->actionDescription(); description && !description->empty())
        gtk_label_set_text(descriptionLabel(), description->c_str());
}
