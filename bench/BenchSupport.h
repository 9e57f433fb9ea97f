// Shared by the benchmarks: resident memory and a private home for the shared container.
#pragma once

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

} // namespace bench
