// SPDX-License-Identifier: GPL-3.0-or-later
// Builders shared by the extension tests: actions, stores and menu summaries.
#pragma once

#include "menus/FinderSync.h"
#include "model/OVActionsManager.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVMoveToAction.h"
#include "platform/Files.h"
#include "platform/ProductPaths.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ovtest {

inline OVActionPtr makeAction(const std::string& title, std::optional<OVStringList> fileTypes = std::nullopt,
                              bool enabled = true)
{
    auto action = OVAction::action<OVMoveToAction>();
    action->setTitle(title);
    action->setFileTypes(std::move(fileTypes));
    action->setEnabled(enabled);
    return action;
}

inline std::shared_ptr<OVActionGroup> makeGroup(const std::string& title, const OVActionList& children,
                                                std::optional<OVStringList> fileTypes = std::nullopt,
                                                bool enabled = true)
{
    auto group = OVAction::action<OVMoveActionGroup>();
    group->setTitle(title);
    group->setFileTypes(std::move(fileTypes));
    group->setEnabled(enabled);
    group->updateActions(children);
    return group;
}

// Writes Actions.plist without announcing it.
inline void writeStore(const OVActionList& actions)
{
    auto manager = OVActionsManager::create();
    ASSERT_TRUE(manager);
    manager->updateActions(actions);
    ASSERT_TRUE(manager->saveToFile());
}

// "Title" per item, "Group>Child" for submenu items, in menu order.
inline std::vector<std::string> flatTitles(const OVMenu& menu, const std::string& prefix = {})
{
    std::vector<std::string> titles;
    for (const auto& item : menu.items) {
        titles.push_back(prefix + item.title);
        if (item.submenu) {
            for (auto& t : flatTitles(*item.submenu, prefix + item.title + ">"))
                titles.push_back(std::move(t));
        }
    }
    return titles;
}

// Waits for another process to write a file (pumpUntil polls what does not wake the loop).
inline bool waitForContent(const std::string& path, unsigned timeoutMs = 10000)
{
    return pumpUntil([&] { return ov::pathExists(path) && !readAll(path).empty(); }, timeoutMs);
}

} // namespace ovtest
