// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVAppleScriptModule.h"

#include "model/OVAppleScriptAction.h"
#include "platform/Log.h"
#include "platform/Translation.h"

#include <adwaita.h>

void OVAppleScriptModule::hl_viewDidLoad()
{
    auto script = std::dynamic_pointer_cast<OVAppleScriptAction>(action());
    const std::string path = script && script->scriptURL() ? *script->scriptURL() : std::string("none");
    gtk_label_set_text(GTK_LABEL(outlet("scriptLabel")), ov::stringPrintf(_("Script: %s"), path.c_str()).c_str());
}
