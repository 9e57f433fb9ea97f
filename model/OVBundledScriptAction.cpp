// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVBundledScriptAction.h"

#include "model/HLBundleResources.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/ProductPaths.h"
#include "platform/Translation.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace {

constexpr const char* kScriptsFolder = "Default Scripts";

// Built-in scripts renamed since: stores keep the old file name in their actions.
struct Renamed {
    std::string_view before;
    std::string_view now;
};
constexpr Renamed kRenamed[] = {
    {"Show hidden files in Finder", "Show hidden files"},
    {"Hide hidden files in Finder", "Hide hidden files"},
    {"New iTerm Tab Here", "New Tab Here in Another Terminal"},
    {"New iTerm Window Here", "New Window Here in Another Terminal"},
};

} // namespace

std::shared_ptr<OVBundledScriptAction> OVBundledScriptAction::actionWithBundledFileName(const std::string& name)
{
    const std::string resources = ov::resourcesPath();
    std::string script = ov::pathByAppending(ov::pathByAppending(resources, kScriptsFolder), name + ".sh");
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

std::string OVBundledScriptAction::currentBundledName(const std::string& name)
{
    auto it = std::find_if(std::begin(kRenamed), std::end(kRenamed), [&](const Renamed& r) { return r.before == name; });
    return it == std::end(kRenamed) ? name : std::string(it->now);
}

std::optional<std::string> OVBundledScriptAction::scriptToRun() const
{
    const auto& stored = scriptURL();
    if (!stored || stored->empty() || ov::isRegularFile(*stored))
        return stored;
    std::string name = ov::lastPathComponent(*stored);
    if (ov::lastPathComponent(ov::deletingLastPathComponent(*stored)) != kScriptsFolder || !name.ends_with(".sh"))
        return stored;
    name.resize(name.size() - 3);
    const std::string current = currentBundledName(name);
    if (current == name)
        return stored;
    // Only ever our own folder: a renamed script is one the application ships.
    std::string renamed = ov::pathByAppending(ov::pathByAppending(ov::resourcesPath(), kScriptsFolder), current + ".sh");
    return ov::isRegularFile(renamed) ? std::optional<std::string>(std::move(renamed)) : stored;
}
