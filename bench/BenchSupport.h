// Shared by the benchmarks: resident memory, a private home for the shared container, catalogue-like
// actions.
#pragma once

#include "model/OVActionGroup.h"
#include "model/OVMoveToAction.h"

#include <glib.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace bench {

inline long residentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// A fresh folder with its own XDG_DATA_HOME and XDG_CONFIG_HOME, so nothing of the user's is read.
inline std::string makePrivateHome()
{
    char* tmp = g_dir_make_tmp("orvane-bench-XXXXXX", nullptr);
    std::string home = tmp;
    g_free(tmp);
    g_setenv("XDG_DATA_HOME", (home + "/data").c_str(), TRUE);
    g_setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), TRUE);
    return home;
}

// The children of a catalogue folder group: Documents, Pictures and Desktop.
inline void addFolderChildren(OVActionGroup& group)
{
    for (const char* folder : {"Documents", "Pictures", "Desktop"}) {
        auto child = OVAction::action<OVMoveToAction>();
        child->setTitle(folder);
        child->setDestinationURL(std::string("/home/user/") + folder);
        group.addAction(child);
    }
}

} // namespace bench
