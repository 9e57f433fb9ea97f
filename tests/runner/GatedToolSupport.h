// SPDX-License-Identifier: GPL-3.0-or-later
// Image conversions held by the test: a stand-in image tool that marks its start (its pid in
// started/NAME), waits until go/NAME or go/all exists, then "converts" by copying.
#pragma once

#include "RunnerTestSupport.h"

#include "model/OVConvertImageAction.h"
#include "runner/OVToolPool.h"
#include "runner/OVToolRun.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

class GatedToolRunTest : public RunBehaviourTest {
protected:
    void SetUp() override
    {
        RunBehaviourTest::SetUp();
        folder("started");
        folder("go");
        folder("pics");
        const std::string root = home.path();
        // It also ends when the test's folders are gone, so that a failed test leaves nothing running.
        std::string tool = write("stand-ins/orvane-sips", "#!/bin/sh\nname=$(basename \"$4\")\necho $$ > '" + root
                                     + "/started/'\"$name\"\nwhile [ -d '" + root + "/go' ] && [ ! -e '" + root
                                     + "/go/'\"$name\" ] && [ ! -e '" + root
                                     + "/go/all' ]; do sleep 0.01; done\ncp \"$4\" \"$6\"\n");
        ::chmod(tool.c_str(), 0755);
        ::setenv("ORVANE_TOOLS_DIR", (root + "/stand-ins").c_str(), 1);
        OVToolPool::setWidthForTesting(2);
    }

    void TearDown() override
    {
        // A test that failed half-way leaves no run going and nothing running.
        for (const auto& action : started_)
            if (auto run = OVToolRun::currentRun(*action))
                run->cancel();
        write("go/all", "");
        EXPECT_TRUE(ovtest::pumpUntil([&] {
            for (const auto& name : names("started"))
                if (running(name))
                    return false;
            return true;
        }));
        OVToolPool::setWidthForTesting(std::nullopt);
        ::unsetenv("ORVANE_TOOLS_DIR");
        RunBehaviourTest::TearDown();
    }

    std::shared_ptr<OVConvertImageAction> convertAction()
    {
        auto action = OVAction::action<OVConvertImageAction>();
        action->setOutputFormat("jpeg");
        action->setOutputExtension("jpg");
        return action;
    }

    OVPaths images(int count)
    {
        OVPaths paths;
        for (int i = 0; i < count; ++i)
            paths.push_back(write("pics/img" + std::to_string(i) + ".png", "image " + std::to_string(i)));
        return paths;
    }

    // Starts a run; its completion lands in the answer, which outlives the test if need be.
    std::shared_ptr<Result> start(const std::shared_ptr<OVConvertImageAction>& action, const OVPaths& paths)
    {
        auto result = std::make_shared<Result>();
        started_.push_back(action);
        OVRunAction(*action, paths, [result](bool success, std::optional<OVError> error) {
            ++result->calls;
            result->success = success;
            result->error = std::move(error);
        });
        return result;
    }

    std::vector<std::string> names(const std::string& relative) const
    {
        std::vector<std::string> out;
        if (DIR* dir = ::opendir((home.path() + "/" + relative).c_str())) {
            while (dirent* entry = ::readdir(dir))
                if (entry->d_name[0] != '.')
                    out.push_back(entry->d_name);
            ::closedir(dir);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    std::size_t startedCount() const { return names("started").size(); }
    void let(const std::string& name) { write("go/" + name, ""); }

    // Whether the stand-in started for an image still runs (a zombie no longer does).
    bool running(const std::string& name) const
    {
        std::ifstream pidFile(home.path() + "/started/" + name);
        long pid = 0;
        if (!(pidFile >> pid) || pid <= 0)
            return false;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line))
            return false;
        auto close = line.rfind(')');
        return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
    }

private:
    std::vector<std::shared_ptr<OVConvertImageAction>> started_;
};
