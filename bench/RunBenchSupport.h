// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the benchmarks of run behaviours: a quiet runner in a private home, and a run timed
// from its start to its completion.
#pragma once

#include "BenchSupport.h"
#include "model/OVAction.h"
#include "model/OVUserDefaults.h"
#include "platform/MainContext.h"
#include "platform/Workspace.h"
#include "runner/OVRunBehaviours.h"

#include <filesystem>
#include <string>

namespace bench {

// Private preferences with no notifications and no file-manager windows; answers the home,
// which the caller removes.
inline std::string makeQuietRunnerHome()
{
    std::string home = makeTemporaryFolder("/var/tmp", "home");
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    std::filesystem::create_directories(home + "/config");
    std::filesystem::create_directories(home + "/data");
    ov::setWorkspaceRecorder(ov::WorkspaceRecorder{[](const std::string&, const std::vector<std::string>&) {}});
    {
        auto defaults = OVUserDefaults::create();
        defaults->setDisableActionNotifications(true);
        defaults->setShowFileOnMoveCopyComplete(false);
    }
    return home;
}

// Runs the action on the paths and answers the seconds until its completion; ends the benchmark
// when the run fails.
inline double timeRun(OVAction& action, const OVPaths& paths)
{
    bool done = false, success = false;
    auto start = Clock::now();
    OVRunAction(action, paths, [&](bool ok, std::optional<OVError>) {
        done = true;
        success = ok;
    });
    ov::iterateMainUntil([&] { return done; }, 3600 * 1000);
    double seconds = secondsSince(start);
    if (!success) {
        std::fprintf(stderr, "the %s run failed\n", action.className());
        std::exit(1);
    }
    return seconds;
}

} // namespace bench
