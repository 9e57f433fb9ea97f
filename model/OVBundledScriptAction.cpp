// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVBundledScriptAction.h"

#include "model/HLBundleResources.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/ProductPaths.h"
#include "platform/Translation.h"

std::shared_ptr<OVBundledScriptAction> OVBundledScriptAction::actionWithBundledFileName(const std::string& name)
{
    const std::string resources = ov::resourcesPath();
    std::string script = ov::pathByAppending(ov::pathByAppending(resources, "Default Scripts"), name + ".sh");
    if (name.empty() || name.find('/') != std::string::npos || !ov::isRegularFile(script)) {
        ov::ovLog("Couldn't find file: %s", name.c_str());
        return nullptr;
    }
    auto action = OVAction::action<OVBundledScriptAction>();
    for (const char* ext : {".svg", ".png"}) {
        if (ov::isRegularFile(ov::pathByAppending(ov::pathByAppending(resources, "images"), name + ext))) {
            action->setIcon(OVImage::named(name));
            break;
        }
    }
    std::optional<std::string> description;
    if (auto table = hl_dictionaryFromPropertyListWithName("BundledDescriptions"); table && !table->empty()) {
        auto it = table->find(name);
        if (it != table->end())
            if (auto* s = std::get_if<std::string>(&it->second.value))
                description = std::string(ov::translate(s->c_str()));
    }
    action->setDefaultTitle(name);
    // The script is known by its English name; the title shown is the user's language.
    action->setTitle(std::string(ov::translate(name.c_str())));
    action->setActionDescription(description);
    action->setScriptURL(script);
    return action;
}
