// SPDX-License-Identifier: GPL-3.0-or-later
#include "extension/ExtensionTestSupport.h"

#include "messaging/OVProtocol.h"
#include "platform/Files.h"
#include "platform/ProductPaths.h"
#include "platform/Workspace.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <sys/stat.h>

using namespace ovtest;

namespace {

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ov::setWorkspaceRecorder(ov::WorkspaceRecorder{[this](const std::string& call, const std::vector<std::string>& args) {
            if (call == "openURI" && !args.empty())
                opened.push_back(args[0]);
        }});
        sync = FinderSync::create();
    }

    // Chooses the item and waits until the request was handed over (or failed).
    bool choose(const std::string& selector)
    {
        bool finished = false;
        bool claimed = sync->performSelector(selector, [&](bool ok, const std::string&) { finished = true, succeeded = ok; });
        return claimed && pumpUntil([&] { return finished; });
    }

    std::vector<std::string> requestFiles() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(ov::containerPath())) {
            if (ov::isCanonicalUUIDString(entry.path().filename().string()))
                names.push_back(entry.path().filename().string());
        }
        return names;
    }

    TempHome home;
    std::shared_ptr<FinderSync> sync;
    std::vector<std::string> opened;
    bool succeeded = false;
    Restore noRecorder{[] { ov::setWorkspaceRecorder(std::nullopt); }}; // the recorder points into this fixture
};

const std::string kUID = "0123456789ABCDEF0123456789ABCDEF";

TEST_F(DispatchTest, WritesRequestFileAndOpensRunRequestURL)
{
    const std::string a = home.writeFile("a b.txt", "");
    const std::string folder = home.makeFolder("dir");
    sync->setSelection({a, folder + "/"}, std::nullopt);
    ASSERT_TRUE(choose("ov_" + kUID));
    EXPECT_TRUE(succeeded);

    auto files = requestFiles();
    ASSERT_EQ(files.size(), 1u);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], OVProtocol::runRequestURL(kUID, files[0]));

    const std::string path = ov::containerPath() + "/" + files[0];
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    const std::string text = readAll(path);
    auto json = nlohmann::json::parse(text);
    ASSERT_TRUE(json.is_object());
    EXPECT_EQ(json.size(), 1u);
    EXPECT_EQ(json["paths"], nlohmann::json({a, folder})); // plain paths, no trailing slash
    EXPECT_NE(text.find("\n  \"paths\""), std::string::npos);  // pretty-printed

    // The same choice again is a second, distinct request.
    ASSERT_TRUE(choose("ov_" + kUID));
    EXPECT_EQ(requestFiles().size(), 2u);
    EXPECT_EQ(opened.size(), 2u);
}

TEST_F(DispatchTest, BackgroundChoiceSendsTheFolder)
{
    const std::string folder = home.makeFolder("open folder");
    sync->setSelection({}, folder);
    ASSERT_TRUE(choose("ov_" + kUID));
    auto files = requestFiles();
    ASSERT_EQ(files.size(), 1u);
    // The folder is the selection, as a runner that reads only "paths" expects, and the folder
    // clicked in, for scripts.
    EXPECT_EQ(nlohmann::json::parse(readAll(ov::containerPath() + "/" + files[0])),
              nlohmann::json({{"paths", {folder}}, {"currentFolder", folder}}));
}

TEST_F(DispatchTest, OnlyOvIdentifiersAreClaimed)
{
    EXPECT_TRUE(FinderSync::resolveInstanceMethod("ov_" + kUID));
    EXPECT_FALSE(FinderSync::resolveInstanceMethod("openFolder"));
    EXPECT_FALSE(FinderSync::resolveInstanceMethod("OV_" + kUID));
    EXPECT_FALSE(sync->performSelector("other_" + kUID));
    // Requests are written in order on one queue: had the refused one started anything, it would
    // have finished before the next choice.
    ASSERT_TRUE(choose("ov_" + kUID));
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_EQ(requestFiles().size(), 1u);
}

TEST_F(DispatchTest, UnwritableRequestOpensNothing)
{
    LogCapture log;
    // Bytes that are not UTF-8 cannot go into JSON text.
    sync->setSelection({"/tmp/bad\xff\xfename"}, std::nullopt);
    ASSERT_TRUE(choose("ov_" + kUID));
    EXPECT_FALSE(succeeded);
    EXPECT_TRUE(log.contains("Could not convert to JSON"));

    // A container that cannot take files: no URL either.
    sync->setSelection({home.path()}, std::nullopt);
    const std::string container = ov::containerPath();
    removeTree(container);
    home.writeFile("data/ORVANE.app.orvane.Orvane", "a file where the folder should be");
    ASSERT_TRUE(choose("ov_" + kUID));
    EXPECT_FALSE(succeeded);
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(log.contains("Could not write the run request"));
}

TEST(RunRequestURLTest, LeavesUIDsAloneAndEscapesAnythingElse)
{
    EXPECT_EQ(FinderSync::runRequestURL(kUID, "A1B2C3D4-0000-4000-8000-00000000000F"),
              "orvane://runaction?action=" + kUID + "&file=A1B2C3D4-0000-4000-8000-00000000000F");
    // A uid from a tampered store must not add members to the query.
    EXPECT_EQ(FinderSync::runRequestURL("X&file=../../etc/passwd", "F"),
              "orvane://runaction?action=X%26file%3D..%2F..%2Fetc%2Fpasswd&file=F");
}

TEST(RequestFileTest, NeverWritesOverAnExistingFile)
{
    TempHome home;
    auto name = FinderSync::saveDictionary({{"paths", {"/a"}}});
    ASSERT_TRUE(name);
    EXPECT_TRUE(ov::isCanonicalUUIDString(*name));
    auto other = FinderSync::saveDictionary({{"paths", {"/b"}}});
    ASSERT_TRUE(other);
    EXPECT_NE(*name, *other);
    EXPECT_EQ(nlohmann::json::parse(readAll(ov::containerPath() + "/" + *name))["paths"][0], "/a");
}

} // namespace
