// The store of the top-level action list and of Actions.plist in the shared container.
#pragma once

#include "model/OVAction.h"

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

private:
    OVActionsManager() = default;
    OVActionList workingActionsArray_;
    std::shared_ptr<HLTimer> saveDelayTimer_;
};
