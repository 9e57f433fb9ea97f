#include "model/OVCompressPasswordAction.h"
#include "platform/GuiAlert.h"
#include "platform/GuiResources.h"
#include "runner/RunnerTestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace {

class CompressTest : public RunBehaviourTest {
protected:
    void SetUp() override
    {
        if (!ov::guiReady())
            GTEST_SKIP() << "no display";
        RunBehaviourTest::SetUp();
        // The prompt is answered with this password, or closed when it is empty.
        ov::setAlertPresenter([this](const ov::AlertRequest& request, std::function<void(int)> done) {
            prompts.push_back(request);
            if (typed.empty()) {
                done(1);
                return;
            }
            *request.textField->answer = typed;
            done(0);
        });
    }
    void TearDown() override { ov::setAlertPresenter(std::nullopt); RunBehaviourTest::TearDown(); }

    // The prompt, then the run when it was not cancelled.
    std::optional<Result> compress(const OVPaths& paths)
    {
        auto action = OVAction::action<OVCompressPasswordAction>()->copy();
        std::optional<bool> cancelled;
        action->beforeRunWithFilePaths(paths, [&](bool c) { cancelled = c; });
        EXPECT_TRUE(ovtest::pumpUntil([&] { return cancelled.has_value(); }));
        if (!cancelled || *cancelled)
            return std::nullopt;
        return run(*action, paths);
    }

    static std::string shell(const std::string& command)
    {
        std::string out;
        if (FILE* p = popen((command + " 2>&1").c_str(), "r")) {
            char buffer[4096];
            while (std::size_t n = fread(buffer, 1, sizeof buffer, p))
                out.append(buffer, n);
            out += "\nstatus=" + std::to_string(pclose(p));
        }
        return out;
    }

    std::string typed = "s3cret pass";
    std::vector<ov::AlertRequest> prompts;
};

TEST_F(CompressTest, ASelectionBecomesOneProtectedArchiveBesideIt)
{
    const std::string photos = folder("work/Photos");
    write("work/Photos/a.txt", "alpha");
    write("work/Photos/sub/b.txt", "beta");
    folder("work/Photos/empty");
    ASSERT_EQ(0, symlink((photos + "/a.txt").c_str(), (photos + "/link.txt").c_str()));
    ASSERT_EQ(0, symlink(photos.c_str(), (photos + "/loop").c_str()));
    ASSERT_EQ(0, mkfifo((photos + "/pipe").c_str(), 0600));
    const std::string report = write("work/Report.pdf", "report one");
    const std::string other = write("work/old/Report.pdf", "report two");
    write("work/Archive.zip", "already here");

    auto result = compress({photos, report, other});
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->success) << (result->error ? result->error->message : "");
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].messageText, "Compress with password");
    EXPECT_EQ(prompts[0].buttons, (std::vector<std::string>{"Continue", "Cancel"}));
    ASSERT_TRUE(prompts[0].textField && prompts[0].textField->secure);
    EXPECT_FALSE(prompts[0].textField->enablesFirstButton(""));
    EXPECT_TRUE(prompts[0].textField->enablesFirstButton("x"));

    // The common folder already holds Archive.zip: the next free name is taken.
    const std::string archive = home.path() + "/work/Archive 2.zip";
    ASSERT_TRUE(exists(archive));
    EXPECT_EQ(ovtest::readAll(home.path() + "/work/Archive.zip"), "already here");
    const std::string listing = shell("unzip -Z1 '" + archive + "' | sort");
    EXPECT_EQ(listing, "Photos/a.txt\nPhotos/link.txt\nPhotos/sub/b.txt\nReport 2.pdf\nReport.pdf\n\nstatus=0");
    EXPECT_NE(shell("unzip -P '" + typed + "' -t '" + archive + "'").find("No errors detected"), std::string::npos);
    EXPECT_NE(shell("unzip -P wrong -t '" + archive + "'").find("incorrect password"), std::string::npos);
    EXPECT_EQ(shell("unzip -P '" + typed + "' -p '" + archive + "' 'Report 2.pdf'"), "report two\nstatus=0");

    ASSERT_TRUE(ovtest::pumpUntil([&] { return !notifications.empty(); }));
    EXPECT_EQ(notifications.back().informativeText, "Finished compressing 'Archive 2.zip'");
    EXPECT_EQ(notifications.back().path, archive);
    EXPECT_EQ(notifications.back().actionButtonTitle, "Show");
}

TEST_F(CompressTest, ACancelledPromptOrAFailedFileLeavesNoArchive)
{
    const std::string report = write("work/Report.pdf", "report");
    typed.clear();
    EXPECT_FALSE(compress({report})) << "a closed prompt cancels the run";

    typed = "pw";
    const std::string missing = home.path() + "/work/gone.txt";
    auto result = compress({report, missing});
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->success);
    EXPECT_FALSE(exists(home.path() + "/work/Archive.zip"));
    struct stat st;
    for (const char* name : {"Report.pdf.zip", "Archive.zip"})
        EXPECT_NE(0, lstat((home.path() + "/work/" + name).c_str(), &st)) << name;
    ASSERT_TRUE(ovtest::pumpUntil([&] { return !notifications.empty(); }));
    EXPECT_EQ(notifications.back().informativeText, "An error occurred while compressing these files.");
    EXPECT_FALSE(notifications.back().path);

    // One file: the archive is named after it and lies beside it.
    result = compress({report});
    ASSERT_TRUE(result && result->success);
    EXPECT_TRUE(exists(home.path() + "/work/Report.pdf.zip"));
}

} // namespace
