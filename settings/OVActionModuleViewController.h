// SPDX-License-Identifier: GPL-3.0-or-later
// The base of the kind editors: the edited action and the store its changes are saved through.
// An editor changes its action (and the action's children) in place and asks the store to save;
// it never writes Actions.plist itself.
#pragma once

#include "model/OVAction.h"
#include "ui/HLModuleViewController.h"

#include <memory>

class OVActionsManager;

class OVActionModuleViewController : public HLModuleViewController {
public:
    std::vector<std::string> classHierarchy() const override
    {
        return {"OVActionModuleViewController", "HLModuleViewController", "HLViewController"};
    }

    // controllerWithAction: a new editor of the class T (loaded, hl_viewDidLoad run) for the action.
    template <typename T>
    static std::shared_ptr<T> controllerWithAction(const OVActionPtr& action,
                                                   std::shared_ptr<OVActionsManager> store = nullptr)
    {
        std::shared_ptr<T> c(new T());
        OVActionModuleViewController& base = *c;
        base.action_ = action;
        base.store_ = std::move(store);
        base.loadView();
        return c;
    }

    const OVActionPtr& action() const { return action_; }
    // The store the editor saves through: the one given, else the process's shared store.
    std::shared_ptr<OVActionsManager> store() const;
    void setStore(std::shared_ptr<OVActionsManager> store) { store_ = std::move(store); }

    // Applies what is still being edited and starts what is still waiting to be written. With
    // wait set (quitting) the writes have happened when this returns.
    virtual void flushPendingChanges(bool wait) { (void)wait; }

protected:
    OVActionModuleViewController() = default;
    void saveStore();

private:
    OVActionPtr action_;
    std::shared_ptr<OVActionsManager> store_;
};
