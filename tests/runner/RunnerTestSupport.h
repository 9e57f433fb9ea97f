// SPDX-License-Identifier: GPL-3.0-or-later
// A fixture for run behaviours: private folders, captured log, notifications and workspace calls.
#pragma once

#include "model/OVAction.h"
#include "model/OVUserDefaults.h"
#include "platform/Workspace.h"
#include "runner/OVRunBehaviours.h"
#include "runner/OVUserNotificationCenter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <mutex>

class RunBehaviourTest : public ::testing::Test {
protected:
    struct Result {
        int calls = 0;
        bool success = false;
        std::optional<OVError> error;
    };

    void SetUp() override
    {
        OVUserNotificationCenter::setSink([this](const OVUserNotification& n) { notifications.push_back(n); });
        ov::setWorkspaceRecorder(ov::WorkspaceRecorder{[this](const std::string& call, const std::vector<std::string>& args) {
            std::lock_guard lock(workspaceMutex);
            workspaceCalls.emplace_back(call, args);
        }});
    }

    Result run(OVAction& action, const OVPaths& paths)
    {
        Result result;
        OVRunAction(action, paths, [&result](bool success, std::optional<OVError> error) {
            ++result.calls;
            result.success = success;
            result.error = std::move(error);
        });
        EXPECT_TRUE(ovtest::pumpUntil([&] { return result.calls > 0; }, 20000));
        EXPECT_TRUE(ovtest::pumpPending()); // whatever was handed to the main context with it shows now
        EXPECT_EQ(result.calls, 1);
        return result;
    }

    std::vector<std::vector<std::string>> calls(const std::string& name)
    {
        std::lock_guard lock(workspaceMutex);
        std::vector<std::vector<std::string>> out;
        for (const auto& [call, args] : workspaceCalls)
            if (call == name)
                out.push_back(args);
        return out;
    }

    std::string write(const std::string& relative, const std::string& content) { return home.writeFile(relative, content); }
    std::string folder(const std::string& relative) { return home.makeFolder(relative); }

    ovtest::TempHome home;
    ovtest::LogCapture log;
    std::vector<OVUserNotification> notifications;
    std::mutex workspaceMutex;
    std::vector<std::pair<std::string, std::vector<std::string>>> workspaceCalls;
    // Last, so they go first: the hooks point into this fixture.
    ovtest::Restore noSink{[] { OVUserNotificationCenter::setSink(nullptr); }};
    ovtest::Restore noRecorder{[] { ov::setWorkspaceRecorder(std::nullopt); }};
};

inline bool exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}
