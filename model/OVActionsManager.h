// SPDX-License-Identifier: GPL-3.0-or-later
// The store of the top-level action list and of Actions.plist in the shared container.
#pragma once

#include "model/OVAction.h"

#include <functional>
#include <memory>
#include <string>

class HLTimer;

class OVActionsManager : public std::enable_shared_from_this<OVActionsManager> {
public:
    // The store of this process; none for the rest of its life when the first load failed.
    static std::shared_ptr<OVActionsManager> sharedInstance();
    // Normal creation: loads the file; none when it is corrupt.
    static std::shared_ptr<OVActionsManager> create();
    ~OVActionsManager();

    bool configure();
    OVActionList actions() const { return workingActionsArray_; }
    void addAction(const OVActionPtr& action);
    void removeAction(const OVActionPtr& action);
    void updateActions(const OVActionList& actions) { workingActionsArray_ = actions; }

    void save();         // coalesced: one write 0.1 s after the last call
    void actuallySave();
    bool saveToFile();   // false (and logged) when the file could not be written
    static std::string saveURL();

    // Told when a save could not write the file; the change message is sent all the same.
    void setSaveFailureHandler(std::function<void(const std::string& error)> handler) { saveFailed_ = std::move(handler); }

private:
    OVActionsManager() = default;
    OVActionList workingActionsArray_;
    std::shared_ptr<HLTimer> saveDelayTimer_;
    std::function<void(const std::string&)> saveFailed_;
};
