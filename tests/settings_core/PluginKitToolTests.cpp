// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Files.h"
#include "platform/PluginRegistry.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <glib.h>
#include <sys/wait.h>

namespace {

const std::string kTool = ORVANE_BINARY_DIR "/tools/orvane-pluginkit";
const std::string kId = "app.orvane.Orvane.extension";

class PluginKitTest : public ::testing::Test {
protected:
    ovtest::ToolResult pluginkit(std::vector<std::string> args)
    {
        args.insert(args.begin(), kTool);
        return ovtest::runTool(args);
    }

    // Registers one more version for this user.
    void registerVersion(const std::string& version, const std::string& id = "app.test.Plugin")
    {
        home.writeFile("data/orvane/plugins/" + id + "-" + version + ".plugin",
                       "[Plug-in]\nIdentifier=" + id + "\nVersion=" + version + "\n");
    }

    ovtest::TempHome home;
};

TEST_F(PluginKitTest, ListsEveryRegisteredVersionWithTheElectionMark)
{
    registerVersion("1.2");
    registerVersion("1.10");
    registerVersion("1.9");
    // Never elected: counts as elected for use. Without -A only the newest is listed.
    EXPECT_EQ(pluginkit({"-m", "-A", "-i", "app.test.Plugin"}).out,
              "+    app.test.Plugin(1.10)\n+    app.test.Plugin(1.9)\n+    app.test.Plugin(1.2)\n");
    EXPECT_EQ(pluginkit({"-mi", "app.test.Plugin"}).out, "+    app.test.Plugin(1.10)\n");

    EXPECT_EQ(pluginkit({"-e", "ignore", "-i", "app.test.Plugin"}).status, 0);
    EXPECT_EQ(pluginkit({"-m", "-A", "-i", "app.test.Plugin"}).out,
              "-    app.test.Plugin(1.10)\n-    app.test.Plugin(1.9)\n-    app.test.Plugin(1.2)\n");
    EXPECT_EQ(pluginkit({"-e", "use", "-i", "app.test.Plugin"}).status, 0);
    EXPECT_EQ(pluginkit({"-m", "-i", "app.test.Plugin"}).out, "+    app.test.Plugin(1.10)\n");

    // The installed extension is registered by the data folder; unknown plug-ins list nothing.
    EXPECT_EQ(pluginkit({"-m", "-A", "-i", kId}).out.substr(0, 5 + kId.size()), "+    " + kId);
    auto none = pluginkit({"-m", "-A", "-i", "app.test.Unknown"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
}

TEST_F(PluginKitTest, ElectionsArePerUserAndWrittenAtomically)
{
    ASSERT_EQ(pluginkit({"-e", "ignore", "-i", kId}).status, 0);
    ASSERT_EQ(pluginkit({"-e", "use", "-i", "app.test.Other"}).status, 0);
    const std::string folder = home.configHome() + "/orvane-pluginkit";
    ASSERT_EQ(ov::pluginElectionsPath(), folder + "/elections");
    EXPECT_EQ(ov::pluginElection(kId), ov::PluginElection::Ignore);
    EXPECT_EQ(ov::pluginElection("app.test.Other"), ov::PluginElection::Use);
    EXPECT_EQ(pluginkit({"-e", "default", "-i", kId}).status, 0);
    EXPECT_EQ(ov::pluginElection(kId), ov::PluginElection::None);
    EXPECT_EQ(ov::pluginElection("app.test.Other"), ov::PluginElection::Use);
    // Nothing but the file itself is left behind.
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"elections"});

    // A damaged file reads as no election and is replaced by the next one.
    home.writeFile("config/orvane-pluginkit/elections", std::string("\0\xff[Elections\n=", 14));
    EXPECT_EQ(ov::pluginElection(kId), ov::PluginElection::None);
    ASSERT_EQ(pluginkit({"-e", "ignore", "-i", kId}).status, 0);
    EXPECT_EQ(ov::pluginElection(kId), ov::PluginElection::Ignore);
}

TEST_F(PluginKitTest, ConcurrentElectionsLoseNone)
{
    std::vector<GPid> children;
    for (int i = 0; i < 8; ++i) {
        const std::string id = "app.test.P" + std::to_string(i);
        std::vector<std::string> args = {kTool, "-e", i % 2 ? "use" : "ignore", "-i", id};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        GPid pid;
        ASSERT_TRUE(g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &pid, nullptr));
        children.push_back(pid);
    }
    for (GPid pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(ov::pluginElection("app.test.P" + std::to_string(i)),
                  i % 2 ? ov::PluginElection::Use : ov::PluginElection::Ignore);
}

TEST_F(PluginKitTest, BadUsageIsRefused)
{
    for (const auto& args : std::vector<std::vector<std::string>>{
             {},
             {"-m"},
             {"-m", "-e", "use", "-i", kId},
             {"-e", "maybe", "-i", kId},
             {"-m", "-i", "../../etc"},
             {"-m", "-i", "-x"},
             {"-m", "-i"},
             {"-q", "-i", kId},
             {"extra", "-m", "-i", kId},
         }) {
        auto r = pluginkit(args);
        EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args);
        EXPECT_NE(r.err.find("orvane-pluginkit: "), std::string::npos);
    }
    EXPECT_FALSE(ov::pathExists(ov::pluginElectionsPath()));
}

TEST_F(PluginKitTest, TheExtensionReadsTheElectionAgainOnlyWhenItChanged)
{
    ov::PluginElectionReader reader(kId);
    EXPECT_TRUE(reader.isElectedForUse()); // no file: never elected
    ASSERT_TRUE(ov::setPluginElection(kId, ov::PluginElection::Ignore));
    EXPECT_FALSE(reader.isElectedForUse());
    // Another plug-in's election leaves this one's alone.
    ASSERT_TRUE(ov::setPluginElection("app.test.Other", ov::PluginElection::Use));
    EXPECT_FALSE(reader.isElectedForUse());
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(ov::setPluginElection(kId, i % 2 ? ov::PluginElection::Ignore : ov::PluginElection::Use));
        EXPECT_EQ(reader.isElectedForUse(), i % 2 == 0) << i;
    }
    ::unlink(ov::pluginElectionsPath().c_str());
    EXPECT_TRUE(reader.isElectedForUse());
}

} // namespace
