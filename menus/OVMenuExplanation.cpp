// SPDX-License-Identifier: GPL-3.0-or-later
#include "menus/OVMenuExplanation.h"

#include "menus/OVMenuExport.h"
#include "menus/OVMenuFormat.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Translation.h"

OVMenuExplanation OVMenuExplanation::explain(FinderSync& finderSync, FIMenuKind kind)
{
    OVMenuExplanation explanation;
    explanation.menu = finderSync.menuForMenuKind(kind);
    if (!finderSync.isElectedForUse()) {
        explanation.extensionOff = true;
        return explanation;
    }
    FinderSync::Omissions omitted;
    explanation.nothingOffered = finderSync.actionMenu(&omitted).empty();
    explanation.leftOut.reserve(omitted.size());
    for (const auto& omission : omitted) {
        if (!omission.action)
            continue;
        explanation.leftOut.push_back(LeftOut{omission.group ? omission.group->title().value_or("") : std::string(),
                                              omission.action->title().value_or(""), omission.reason});
    }
    return explanation;
}

std::vector<FinderSync::Item> OVMenuExplanation::itemsOnDisk(const std::vector<std::string>& paths)
{
    std::vector<FinderSync::Item> items;
    items.reserve(paths.size());
    for (const auto& path : paths)
        items.push_back(FinderSync::Item{path, ov::isDirectory(path)});
    return items;
}

std::string OVMenuExplanation::text() const
{
    std::string out = menuOutline(menu);
    if (extensionOff)
        return out + _("Nothing is shown: the Orvane extension is turned off in Orvane.") + "\n";
    if (nothingOffered)
        out += std::string(_("No action is offered for these files.")) + "\n";
    if (leftOut.empty())
        return out + _("No action is left out.") + "\n";
    out += std::string(_("Left out:")) + "\n";
    for (const auto& entry : leftOut) {
        const std::string shown = "'" + menuSafeTitle(entry.qualifiedName()) + "'";
        out += "  " + ov::stringPrintf(_("%s: %s"), shown.c_str(), entry.reason.c_str()) + "\n";
    }
    return out;
}
