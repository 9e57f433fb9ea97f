// SPDX-License-Identifier: GPL-3.0-or-later
// Script runs that report: what a script is told, the output kept of it, the notification of
// its end and Stop.
#include "RunnerTestSupport.h"

#include "archive/UTF8.h"
#include "model/OVShellScriptAction.h"
#include "platform/Files.h"
#include "runner/AppDelegate.h"
#include "runner/OVScriptOutput.h"
#include "runner/OVScriptRuns.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>

namespace {

std::vector<std::string> outputFiles()
{
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(OVScriptOutput::folder(), ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A process's state and group from /proc; a zombie (an orphan that nobody reaps in a container)
// counts as gone.
struct ProcState {
    char state = 0;
    long long group = 0;
};
std::optional<ProcState> procState(const std::string& pid)
{
    const std::string stat = ovtest::readAll("/proc/" + pid + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size())
        return std::nullopt;
    ProcState s;
    long long parent = 0;
    if (std::sscanf(stat.c_str() + close + 2, "%c %lld %lld", &s.state, &parent, &s.group) != 3)
        return std::nullopt;
    return s;
}

bool groupExists(long long id)
{
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        auto s = procState(it->path().filename().string());
        if (s && s->group == id && s->state != 'Z')
            return true;
    }
    return false;
}

bool processExists(const std::string& pidFile)
{
    std::string text = ovtest::readAll(pidFile);
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    if (text.empty())
        return false;
    auto s = procState(text);
    return s && s->state != 'Z';
}

TEST(ScriptOutputTest, KeepsAllOfASmallOutputAndTheEndOfALargeOneWithinOneMebibyte)
{
    OVScriptOutput small;
    small.append("out\n", false);
    small.append("err\n", true);
    small.append("more\n", false);
    EXPECT_EQ(small.contents(), "out\nerr\nmore\n");
    EXPECT_EQ(small.errorTail(), "err\n");

    // Three mebibytes, the last bytes distinct, the cut falling inside a two-byte character.
    OVScriptOutput large;
    const std::string block(4096, 'x');
    std::uint64_t written = 0;
    for (int i = 0; i < 3 * 256 - 1; ++i) {
        large.append(block, i % 2 == 0);
        written += block.size();
    }
    std::string last;
    for (int i = 0; i < 2047; ++i)
        last += "\xC3\xA9"; // é
    last += "END\n";
    large.append(last, false);
    written += last.size();
    // A single piece larger than the limit.
    OVScriptOutput huge;
    huge.append(std::string(OVScriptOutput::kMaxBytes + 10, 'y') + "TAIL", false);

    for (const auto* output : {&large, &huge}) {
        const std::string contents = output->contents();
        EXPECT_LE(contents.size(), OVScriptOutput::kMaxBytes);
        EXPECT_GT(contents.size(), OVScriptOutput::kMaxBytes - 1024) << "the room is used";
        EXPECT_TRUE(contents.starts_with("[The first ")) << contents.substr(0, 80);
        const auto noteEnd = contents.find('\n');
        ASSERT_NE(noteEnd, std::string::npos);
        // The note counts what the file leaves out.
        const auto count = std::stoull(contents.substr(11));
        EXPECT_EQ(count, output->totalBytes() - (contents.size() - noteEnd - 1));
    }
    const std::string contents = large.contents();
    EXPECT_EQ(large.totalBytes(), written);
    EXPECT_TRUE(contents.ends_with(last));
    EXPECT_TRUE(ovutf8::isValid(contents)) << "no character is cut in two";
    EXPECT_TRUE(huge.contents().ends_with("yyyyTAIL"));
    // Standard error alone is kept to its end too, for its last lines.
    EXPECT_GE(large.errorTail().size(), OVScriptOutput::kErrorTailBytes);
    EXPECT_LE(large.errorTail().size(), 2 * OVScriptOutput::kErrorTailBytes);
}

TEST(ScriptOutputTest, LastLinesOfStandardError)
{
    // No line end at the end, blank lines and a trailing blank.
    EXPECT_EQ(OVLastLines("one\ntwo\n\nthree\nfour\n  \n"), (std::vector<std::string>{"two", "three", "four"}));
    EXPECT_EQ(OVLastLines("a\nb\nlast without end"), (std::vector<std::string>{"a", "b", "last without end"}));
    EXPECT_EQ(OVLastLines("only\r\nCRLF lines\r\n"), (std::vector<std::string>{"only", "CRLF lines"}));
    // A line redrawn with CR shows as a terminal leaves it.
    EXPECT_EQ(OVLastLines("progress 10%\rprogress 90%\rdone\n"), std::vector<std::string>{"done"});
    EXPECT_TRUE(OVLastLines("").empty());
    EXPECT_TRUE(OVLastLines("\n\n \t\n").empty());
    // Not UTF-8 and control characters: text a notification can carry.
    const auto odd = OVLastLines(std::string("bad \xFF\xFE byte\n\x1B[31mred\x1B[0m\tand\x01 bell\x07\n", 34));
    ASSERT_EQ(odd.size(), 2u);
    EXPECT_EQ(odd[0], "bad \uFFFD\uFFFD byte");
    EXPECT_EQ(odd[1], "[31mred[0m and bell");
    EXPECT_TRUE(ovutf8::isValid(odd[0]));
    const auto binary = OVLastLines(std::string("\0\0\x80\x81\n", 5));
    ASSERT_EQ(binary.size(), 1u);
    EXPECT_EQ(binary[0], "\uFFFD\uFFFD");
    // A long line is cut.
    const auto longLine = OVLastLines(std::string(5000, 'z'), 3, 200);
    ASSERT_EQ(longLine.size(), 1u);
    EXPECT_EQ(longLine[0], std::string(200, 'z') + "\u2026");
}

TEST(ScriptOutputTest, KeepsTheNewestTwentyRunsAndNothingElseOfTheFolder)
{
    ovtest::TempHome home;
    const std::string folder = OVScriptOutput::folder();
    EXPECT_EQ(folder, home.cacheHome() + "/orvane/script-output");
    // Someone else's files in the folder stay, even where they sort before ours.
    home.writeFile("cache/orvane/script-output/0-mine.txt", "mine");
    home.writeFile("cache/orvane/script-output/notes.txt", "mine");
    OVScriptOutput output;
    output.append("hello\n", false);
    std::vector<std::string> saved;
    for (int i = 0; i < 23; ++i) {
        auto path = output.save(folder, timespec{1'800'000'000 + i * 60, 5});
        ASSERT_TRUE(path);
        saved.push_back(*path);
    }
    // Two runs ending in the same instant keep both outputs.
    auto same = output.save(folder, timespec{1'800'000'000 + 22 * 60, 5});
    ASSERT_TRUE(same);
    EXPECT_NE(*same, saved.back());

    const auto names = outputFiles();
    EXPECT_EQ(names.size(), OVScriptOutput::kKeptRuns + 2);
    EXPECT_TRUE(std::find(names.begin(), names.end(), "notes.txt") != names.end());
    EXPECT_TRUE(std::find(names.begin(), names.end(), "0-mine.txt") != names.end());
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(exists(saved[i])) << i;
    for (int i = 4; i < 23; ++i)
        EXPECT_TRUE(exists(saved[i])) << i;
    EXPECT_EQ(ovtest::readAll(saved.back()), "hello\n");

    struct stat st;
    ASSERT_EQ(stat(saved.back().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "a script's output is the user's own";

    // Only our own files open from outside.
    EXPECT_TRUE(OVScriptOutput::isOutputFile(saved.back()));
    EXPECT_FALSE(OVScriptOutput::isOutputFile(folder + "/notes.txt"));
    EXPECT_FALSE(OVScriptOutput::isOutputFile(home.writeFile("elsewhere/" + ov::lastPathComponent(saved.back()), "x")));
    const std::string link = folder + "/20300101-000000-000000000.txt";
    ASSERT_EQ(symlink("/etc/passwd", link.c_str()), 0);
    EXPECT_FALSE(OVScriptOutput::isOutputFile(link));
    EXPECT_FALSE(OVScriptOutput::isOutputFile(folder + "/../script-output/" + ov::lastPathComponent(saved.back())));
}

TEST(ScriptEnvironmentTest, SelectionAndCurrentFolder)
{
    using namespace OVScriptRuns;
    const auto env = environmentFor({"/home/u/a b.txt", "/home/u/two\nlines", "/home/u/c"}, "/home/u");
    ASSERT_EQ(env.size(), 2u);
    EXPECT_EQ(env[0].first, "ORVANE_SELECTED_FILE_PATHS");
    // One path a line; a path holding a line break would read as two other paths: left out.
    EXPECT_EQ(env[0].second, "/home/u/a b.txt\n/home/u/c\n");
    EXPECT_EQ(env[1], (std::pair<std::string, std::string>{"ORVANE_CURRENT_FOLDER", "/home/u"}));

    EXPECT_EQ(currentFolderFor({"/home/u/docs/a.txt", "/tmp/b"}, std::nullopt), "/home/u/docs");
    EXPECT_EQ(currentFolderFor({"/home/u/docs"}, std::string("/home/u/docs")), "/home/u/docs");
    EXPECT_EQ(currentFolderFor({"/top"}, std::nullopt), "/");
}

class ScriptReportTest : public RunBehaviourTest {
protected:
    void SetUp() override
    {
        RunBehaviourTest::SetUp();
        OVScriptRuns::timing() = {0.05, 0.3, 10.0};
    }
    void TearDown() override { OVScriptRuns::timing() = {}; }

    std::shared_ptr<OVShellScriptAction> scriptAction(const std::string& name, const std::string& body, const char* title = "Tidy up")
    {
        auto action = OVAction::action<OVShellScriptAction>();
        action->setScriptURL(write(name, body));
        action->setTitle(std::string(title));
        return action;
    }
};

TEST_F(ScriptReportTest, AFailureNotifiesWithTheLastErrorLinesAndKeepsTheWholeOutput)
{
    auto action = scriptAction("fail.sh", "echo working\nfor i in 1 2 3 4; do echo \"problem $i\" >&2; done\necho 'no such file' >&2\nexit 2\n");
    // Failures are told whatever the preference says; the delivery decides on isError.
    EXPECT_TRUE(run(*action, {"/x"}).success);
    ASSERT_EQ(notifications.size(), 1u);
    const auto& n = notifications[0];
    EXPECT_EQ(n.title, "'Tidy up' failed");
    EXPECT_EQ(n.informativeText, "problem 3\nproblem 4\nno such file");
    EXPECT_TRUE(n.isError);
    EXPECT_EQ(n.actionButtonTitle, "Show Output");
    ASSERT_TRUE(n.outputPath);
    EXPECT_TRUE(OVScriptOutput::isOutputFile(*n.outputPath));
    struct stat st;
    ASSERT_EQ(stat(OVScriptOutput::folder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "made for the user alone";
    const std::string whole = ovtest::readAll(*n.outputPath);
    for (const char* part : {"working\n", "problem 1\n", "no such file\n"})
        EXPECT_NE(whole.find(part), std::string::npos) << part;

    // Ended by a signal, nothing on standard error.
    notifications.clear();
    auto killed = scriptAction("killed.sh", "kill -KILL $$\n", "Crash");
    run(*killed, {"/x"});
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].title, "'Crash' failed");
    EXPECT_EQ(notifications[0].informativeText, "The script was ended by signal 9.");
    EXPECT_TRUE(notifications[0].isError);

    // Non-zero with nothing said.
    notifications.clear();
    run(*scriptAction("quiet.sh", "exit 4\n", "Quiet"), {"/x"});
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].informativeText, "The script ended with exit status 4.");
}

TEST_F(ScriptReportTest, ASuccessIsSilentUnlessItTookLong)
{
    auto quick = scriptAction("quick.sh", "echo fine\n");
    EXPECT_TRUE(run(*quick, {"/x"}).success);
    EXPECT_TRUE(notifications.empty());
    EXPECT_EQ(outputFiles().size(), 1u) << "its output is kept all the same";

    OVScriptRuns::timing().quietSeconds = 0.2;
    auto slow = scriptAction("slow.sh", "sleep 0.4\n", "Slow one");
    run(*slow, {"/x"});
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].informativeText, "Finished 'Slow one'");
    EXPECT_FALSE(notifications[0].isError) << "a success follows the notification preference";
    EXPECT_TRUE(notifications[0].outputPath);
}

TEST_F(ScriptReportTest, TheScriptIsToldTheSelectionAndTheFolder)
{
    const std::string out = home.path() + "/env.txt";
    auto action = scriptAction("env.sh", "{ printf '%s' \"$ORVANE_SELECTED_FILE_PATHS\"; echo \"[$ORVANE_CURRENT_FOLDER]\"; } > '" + out + "'\n");
    run(*action, {"/srv/a b", "/srv/c"});
    EXPECT_EQ(ovtest::readAll(out), "/srv/a b\n/srv/c\n[/srv]\n");
    {
        OVScriptRuns::ScopedCurrentFolder clicked(std::string("/srv/a b"));
        run(*action, {"/srv/a b"});
    }
    EXPECT_EQ(ovtest::readAll(out), "/srv/a b\n[/srv/a b]\n");
    EXPECT_FALSE(OVScriptRuns::requestedCurrentFolder());
}

// Stop ends the script and what it started, and kills what ignores the request to end.
TEST_F(ScriptReportTest, StopEndsTheWholeProcessGroup)
{
    for (const bool ignoresTerm : {false, true}) {
        SCOPED_TRACE(ignoresTerm ? "ignoring SIGTERM" : "plain");
        const std::string pidFile = home.path() + (ignoresTerm ? "/child-stubborn" : "/child");
        auto action = scriptAction(ignoresTerm ? "stubborn.sh" : "long.sh",
                                   std::string(ignoresTerm ? "trap '' TERM\n" : "") + "sleep 300 &\necho $! > '" + pidFile +
                                       ".tmp'\nmv '" + pidFile + ".tmp' '" + pidFile + "'\nwait\n");
        Result result;
        OVRunAction(*action, {"/x"}, [&result](bool success, std::optional<OVError> error) {
            ++result.calls;
            result.success = success;
            result.error = std::move(error);
        });
        ASSERT_TRUE(ovtest::pumpUntil([&] { return processExists(pidFile); }));
        const auto ids = OVScriptRuns::runIds();
        ASSERT_EQ(ids.size(), 1u);
        const long long group = ids.front();
        EXPECT_TRUE(groupExists(group));
        EXPECT_FALSE(OVScriptRuns::stop(group + 100000)) << "no such run";

        ASSERT_TRUE(OVScriptRuns::stop(group));
        ASSERT_TRUE(ovtest::pumpUntil([&] { return result.calls > 0; }));
        ASSERT_TRUE(ovtest::pumpUntil([&] { return !groupExists(group); }));
        EXPECT_FALSE(processExists(pidFile));
        EXPECT_TRUE(OVScriptRuns::runIds().empty());
        ASSERT_FALSE(notifications.empty());
        EXPECT_TRUE(notifications.back().isError);
        notifications.clear();
    }
}

TEST_F(ScriptReportTest, ShowOutputOpensOnlyOurOwnOutputFiles)
{
    run(*scriptAction("fail.sh", "echo bad >&2; exit 1\n"), {"/x"});
    ASSERT_EQ(notifications.size(), 1u);
    auto delegate = AppDelegate::create();
    OVUserNotification clicked;
    clicked.outputPath = notifications[0].outputPath;
    delegate->didActivateNotification(clicked);
    clicked.outputPath = write("secret.txt", "private");
    delegate->didActivateNotification(clicked);
    clicked.outputPath = OVScriptOutput::folder() + "/../../secret.txt";
    delegate->didActivateNotification(clicked);
    ASSERT_TRUE(ovtest::pumpPending());
    EXPECT_EQ(calls("openInTextEditor"), (std::vector<std::vector<std::string>>{{*notifications[0].outputPath}}));
}

} // namespace
