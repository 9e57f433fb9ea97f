// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVActionsManager.h"
#include "model/OVCompressPasswordAction.h"
#include "model/OVShellScriptAction.h"
#include "platform/Files.h"
#include "platform/GuiAlert.h"
#include "platform/GuiResources.h"
#include "runner/RunnerTestSupport.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

namespace {

// Root reads mode-000 items. Without these two capabilities the calling thread, and every thread
// it starts from then on (the run's queues are started from the main thread), is refused like any
// other user.
class WithoutReadOverride {
public:
    WithoutReadOverride()
    {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, saved_, sizeof reduced);
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
            reduced[cap / 32].effective &= ~(1u << (cap % 32));
        dropped_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutReadOverride()
    {
        if (dropped_)
            (void)syscall(SYS_capset, &header_, saved_);
    }
    WithoutReadOverride(const WithoutReadOverride&) = delete;
    WithoutReadOverride& operator=(const WithoutReadOverride&) = delete;

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
};

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(folder))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

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
            switchShown.push_back(request.toggle && request.toggle->answer && *request.toggle->answer);
            if (request.toggle && switchTo)
                *request.toggle->answer = *switchTo;
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
    std::optional<Result> compress(const OVPaths& paths, bool strongEncryption = false)
    {
        auto stored = OVAction::action<OVCompressPasswordAction>();
        stored->setStrongEncryption(strongEncryption);
        return compressCopyOf(*stored, paths);
    }

    // As the runner does: on a copy of the stored action.
    std::optional<Result> compressCopyOf(const OVAction& stored, const OVPaths& paths)
    {
        auto action = stored.copy();
        ranAction = std::dynamic_pointer_cast<OVCompressPasswordAction>(action);
        std::optional<bool> cancelled;
        OVBeforeRunAction(*action, paths, [&](bool c) { cancelled = c; });
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
    std::optional<bool> switchTo; // the strong encryption switch, as the user leaves it
    std::vector<ov::AlertRequest> prompts;
    std::vector<bool> switchShown; // the switch's state as each prompt showed it
    std::shared_ptr<OVCompressPasswordAction> ranAction;
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

TEST_F(CompressTest, TheStrongEncryptionSwitchStartsAtTheActionsChoiceAndDecidesTheArchive)
{
    const std::string report = write("work/Report.pdf", "report one");
    const std::string archive = home.path() + "/work/Report.pdf.zip";
    auto method = [&] { return shell("7z l -slt -p'" + typed + "' '" + archive + "' | grep '^Method'"); };

    // Off by default: traditional encryption, which Info-ZIP's unzip opens.
    ASSERT_TRUE(compress({report}));
    ASSERT_EQ(prompts.size(), 1u);
    ASSERT_TRUE(prompts[0].toggle && prompts[0].toggle->answer);
    EXPECT_FALSE(switchShown[0]);
    EXPECT_EQ(prompts[0].toggle->label, "Strong encryption (AES-256)");
    EXPECT_NE(prompts[0].toggle->detail.find("Windows"), std::string::npos);
    EXPECT_NE(method().find("ZipCrypto"), std::string::npos) << method();
    EXPECT_FALSE(ranAction->strongEncryption());
    ASSERT_EQ(0, unlink(archive.c_str()));

    // Turned on in the prompt: AES-256, and the action carries the choice.
    switchTo = true;
    auto result = compress({report});
    ASSERT_TRUE(result && result->success);
    ASSERT_EQ(prompts.size(), 2u);
    EXPECT_FALSE(switchShown[1]) << "the prompt starts with the action's choice";
    EXPECT_TRUE(ranAction->strongEncryption());
    EXPECT_NE(method().find("AES-256"), std::string::npos) << method();
    EXPECT_NE(shell("bsdtar --passphrase '" + typed + "' -xOf '" + archive + "' Report.pdf").find("report one"), std::string::npos);
    ASSERT_EQ(0, unlink(archive.c_str()));

    // An action that chose it before starts with the switch on.
    switchTo.reset();
    ASSERT_TRUE(compress({report}, true));
    ASSERT_EQ(prompts.size(), 3u);
    EXPECT_TRUE(switchShown[2]);
    EXPECT_NE(method().find("AES-256"), std::string::npos) << method();
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

TEST_F(CompressTest, TwoRunsOnOneFileAtOnceBothFinish)
{
    const std::string big = write("work/big.bin", std::string(4 << 20, 'x'));
    std::vector<OVActionPtr> actions;
    std::vector<Result> results(2);
    for (int i = 0; i < 2; ++i) {
        auto action = OVAction::action<OVCompressPasswordAction>()->copy();
        std::optional<bool> cancelled;
        OVBeforeRunAction(*action, {big}, [&](bool c) { cancelled = c; });
        ASSERT_TRUE(ovtest::pumpUntil([&] { return cancelled.has_value(); }));
        ASSERT_FALSE(*cancelled);
        actions.push_back(action);
    }
    // Both start before either is written: both begin with the same free name.
    for (std::size_t i = 0; i < 2; ++i)
        OVRunAction(*actions[i], {big}, [&results, i](bool success, std::optional<OVError> error) {
            ++results[i].calls;
            results[i].success = success;
            results[i].error = std::move(error);
        });
    ASSERT_TRUE(ovtest::pumpUntil([&] { return results[0].calls && results[1].calls; }, 20000));
    for (const Result& result : results)
        EXPECT_TRUE(result.success) << (result.error ? result.error->message : "");
    EXPECT_EQ(namesIn(home.path() + "/work"), (std::vector<std::string>{"big.bin", "big.bin 2.zip", "big.bin.zip"}));
    for (const char* name : {"big.bin.zip", "big.bin 2.zip"})
        EXPECT_NE(shell("unzip -P '" + typed + "' -t '" + home.path() + "/work/" + name + "'").find("No errors detected"),
                  std::string::npos) << name;
    ASSERT_TRUE(ovtest::pumpUntil([&] { return notifications.size() == 2; }));
    std::set<std::string> finished;
    for (const auto& n : notifications)
        finished.insert(n.informativeText);
    EXPECT_EQ(finished, (std::set<std::string>{"Finished compressing 'big.bin.zip'", "Finished compressing 'big.bin 2.zip'"}));
}

// A folder and a file inside it: the archive is written inside the selected folder, and its
// unfinished file there is never taken for part of the selection.
TEST_F(CompressTest, AFolderWithAFileInsideItIsCompressed)
{
    const std::string photos = folder("work/Photos");
    const std::string a = write("work/Photos/a.txt", "alpha");
    write("work/Photos/sub/b.txt", "beta");

    auto result = compress({photos, a});
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->success) << (result->error ? result->error->message : "");
    const std::string archive = photos + "/Archive.zip";
    EXPECT_EQ(shell("unzip -Z1 '" + archive + "' | sort"), "Photos/a.txt\nPhotos/sub/b.txt\na.txt\n\nstatus=0");
    EXPECT_NE(shell("unzip -P '" + typed + "' -t '" + archive + "'").find("No errors detected"), std::string::npos);
    EXPECT_EQ(namesIn(photos), (std::vector<std::string>{"Archive.zip", "a.txt", "sub"}));
}

// One rule for whatever cannot be read inside the selection, a file or a whole folder: the run
// fails naming it and no archive is left, rather than an archive that silently lacks it.
TEST_F(CompressTest, AnUnreadableFileOrFolderFailsTheRunAndLeavesNoArchive)
{
    const std::string photos = folder("work/Photos");
    write("work/Photos/a.txt", "alpha");
    const std::string secretFile = write("work/Photos/secret.txt", "hidden");
    const std::string secretFolder = folder("work/Photos/Private");
    write("work/Photos/Private/c.txt", "gamma");
    // A link whose file lies in a folder outside the selection that cannot be searched.
    const std::string vault = folder("vault");
    write("vault/v.txt", "vaulted");
    const std::string link = photos + "/link.txt";
    ASSERT_EQ(symlink((vault + "/v.txt").c_str(), link.c_str()), 0);

    const std::pair<std::string, std::string> cases[] = {{secretFile, secretFile}, {secretFolder, secretFolder}, {vault, link}};
    for (const auto& [unreadable, named] : cases) {
        SCOPED_TRACE(unreadable);
        notifications.clear();
        ASSERT_EQ(chmod(unreadable.c_str(), 0), 0);
        std::optional<Result> result;
        {
            WithoutReadOverride asAnyUser;
            // Not access(): for root it checks with the full permitted set.
            if (int fd = open(unreadable.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
                close(fd);
                ASSERT_EQ(chmod(unreadable.c_str(), 0755), 0);
                GTEST_SKIP() << "mode 000 items stay readable here (root that keeps its read override)";
            }
            result = compress({photos});
        }
        ASSERT_EQ(chmod(unreadable.c_str(), 0755), 0);
        ASSERT_TRUE(result);
        EXPECT_FALSE(result->success);
        ASSERT_TRUE(result->error);
        EXPECT_NE(result->error->message.find(named), std::string::npos) << result->error->message;
        EXPECT_EQ(namesIn(home.path() + "/work"), std::vector<std::string>{"Photos"});
        ASSERT_TRUE(ovtest::pumpUntil([&] { return !notifications.empty(); }));
        EXPECT_EQ(notifications.back().informativeText, "An error occurred while compressing these files.");
    }
    // Readable again: the same selection makes its archive.
    auto result = compress({photos});
    ASSERT_TRUE(result && result->success);
    EXPECT_EQ(shell("unzip -Z1 '" + home.path() + "/work/Photos.zip' | sort"),
              "Photos/Private/c.txt\nPhotos/a.txt\nPhotos/link.txt\nPhotos/secret.txt\n\nstatus=0");
}

} // namespace


// The choice made in the prompt is the next prompt's start for that action. It is kept beside
// the store: Actions.plist is left to the settings application, whose unsaved edits survive, and
// a store that cannot be read is never written over.
TEST_F(CompressTest, ThePromptsChoiceIsRememberedForTheActionAndTheStoreIsLeftAlone)
{
    const std::string report = write("work/Report.pdf", "report one");
    const std::string archive = home.path() + "/work/Report.pdf.zip";
    auto zipper = OVAction::action<OVCompressPasswordAction>();
    auto script = OVAction::action<OVShellScriptAction>();
    script->setTitle("Mine");
    {
        auto initial = OVActionsManager::create();
        ASSERT_TRUE(initial);
        initial->updateActions({zipper, script});
        ASSERT_TRUE(initial->saveToFile());
    }
    // The settings application, with an edit not saved yet.
    auto settings = OVActionsManager::create();
    ASSERT_TRUE(settings && settings->actions().size() == 2);
    settings->actions()[1]->setTitle("Mine, renamed");
    const auto before = ov::readFile(OVActionsManager::saveURL());
    ASSERT_TRUE(before);

    const auto storedZipper = [] {
        auto store = OVActionsManager::create();
        return store && !store->actions().empty() ? store->actions().front() : nullptr;
    };
    auto runnerCopy = storedZipper();
    ASSERT_TRUE(runnerCopy);
    switchTo = true;
    auto result = compressCopyOf(*runnerCopy, {report});
    ASSERT_TRUE(result && result->success);
    ASSERT_EQ(0, unlink(archive.c_str()));
    EXPECT_EQ(ov::readFile(OVActionsManager::saveURL()), before) << "the runner never writes the store";

    settings->actuallySave();
    auto reread = OVActionsManager::create();
    ASSERT_TRUE(reread && reread->actions().size() == 2);
    EXPECT_EQ(reread->actions()[1]->title(), "Mine, renamed");
    switchTo.reset();
    ASSERT_TRUE(compressCopyOf(*reread->actions()[0], {report}));
    ASSERT_EQ(prompts.size(), 2u);
    EXPECT_TRUE(switchShown[1]) << "the next prompt for the action starts with its last choice";
    EXPECT_NE(shell("7z l -slt -p'" + typed + "' '" + archive + "' | grep '^Method'").find("AES-256"), std::string::npos);
    ASSERT_EQ(0, unlink(archive.c_str()));
    // Another action of the kind keeps its own start.
    ASSERT_TRUE(compress({report}));
    EXPECT_FALSE(switchShown[2]);
    ASSERT_EQ(0, unlink(archive.c_str()));

    // A store that cannot be read stays as it is; the choice is still remembered.
    const std::string garbage = "not an archive: the user's, and not ours to replace";
    ASSERT_TRUE(ov::writeFileAtomically(OVActionsManager::saveURL(), garbage, 0600, nullptr));
    switchTo = false;
    ASSERT_TRUE(compressCopyOf(*runnerCopy, {report}));
    EXPECT_EQ(ov::readFile(OVActionsManager::saveURL()), garbage);
    ASSERT_EQ(0, unlink(archive.c_str()));
    switchTo.reset();
    ASSERT_TRUE(compressCopyOf(*runnerCopy, {report}));
    ASSERT_EQ(prompts.size(), 5u);
    EXPECT_FALSE(switchShown[4]);
    ASSERT_EQ(0, unlink(archive.c_str()));

    // A prompt left with Cancel remembers nothing.
    typed.clear();
    switchTo = true;
    EXPECT_FALSE(compressCopyOf(*runnerCopy, {report}));
    typed = "s3cret pass";
    switchTo.reset();
    ASSERT_TRUE(compressCopyOf(*runnerCopy, {report}));
    ASSERT_EQ(prompts.size(), 7u);
    EXPECT_FALSE(switchShown[6]);
}
