// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVModuleSwitch.h"

namespace ovsettings {

void switchModule(GtkBox* area, const std::shared_ptr<HLModuleViewController>& old,
                  const std::shared_ptr<HLModuleViewController>& module, const std::function<void()>& prepare)
{
    if (old)
        old->hl_viewWillDisappear();
    module->hl_viewWillAppear();
    if (old) {
        if (gtk_widget_get_parent(old->view()) == GTK_WIDGET(area))
            gtk_box_remove(area, old->view());
        old->hl_viewDidDisappear();
        old->setModuleIsVisible(false);
    }
    module->setModuleIsVisible(true);
    if (prepare)
        prepare();
    gtk_widget_set_hexpand(module->view(), TRUE);
    gtk_widget_set_vexpand(module->view(), TRUE);
    gtk_box_append(area, module->view());
    module->hl_viewDidAppear();
}

} // namespace ovsettings
