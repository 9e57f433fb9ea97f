// The "Orvane" page: whether the file-manager extension is on. Its state and switch come with the
// extension status logic; until then the page only names the application.
#pragma once

#include "ui/HLModuleViewController.h"

class OVStatusModule : public HLModuleViewController {
public:
    std::vector<std::string> classHierarchy() const override
    {
        return {"OVStatusModule", "HLModuleViewController", "HLViewController"};
    }

protected:
    OVStatusModule();
    friend class HLViewController;
};
