// SPDX-License-Identifier: GPL-3.0-or-later
#include "RunnerTestSupport.h"

#include "model/OVNewFileAction.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>

namespace {

class NewFileRunTest : public RunBehaviourTest {
protected:
    std::shared_ptr<OVNewFileAction> newFileAction(const std::string& name, const std::string& extension)
    {
        auto action = OVAction::action<OVNewFileAction>();
        action->setTemplateURL(write("templates/template.txt", "template body"));
        action->setFileName(name);
        action->setExtension(extension);
        return action;
    }
};

TEST_F(NewFileRunTest, OneNewFilePerFolderRevealedWithAFreshTime)
{
    std::string docs = folder("docs");
    std::string a = write("docs/a.txt", "");
    std::string b = write("docs/b.txt", "");
    std::string other = folder("other");
    std::string inside = write("other/inside.txt", "");
    auto action = newFileAction("Untitled", "txt");
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, action->templateURL()->c_str(), old, 0), 0);

    auto result = run(*action, {a, b, other, inside, home.path() + "/missing.txt"});
    EXPECT_TRUE(result.success);
    EXPECT_EQ(ovtest::readAll(docs + "/Untitled.txt"), "template body");
    EXPECT_EQ(ovtest::readAll(other + "/Untitled.txt"), "template body");
    EXPECT_FALSE(exists(docs + "/Untitled 2.txt"));
    EXPECT_FALSE(exists(other + "/Untitled 2.txt"));
    EXPECT_EQ(calls("revealFiles"), (std::vector<std::vector<std::string>>{{docs + "/Untitled.txt", other + "/Untitled.txt"}}));
    struct stat st;
    ASSERT_EQ(stat((docs + "/Untitled.txt").c_str(), &st), 0);
    EXPECT_GT(st.st_mtim.tv_sec, std::time(nullptr) - 60);
    EXPECT_TRUE(notifications.empty());
}

TEST_F(NewFileRunTest, TakesTheNextFreeName)
{
    std::string docs = folder("docs");
    write("docs/Untitled.txt", "first");
    write("docs/Untitled 2.txt", "second");
    write("docs/Untitled", "no extension");
    EXPECT_TRUE(run(*newFileAction("Untitled", "txt"), {docs}).success);
    EXPECT_EQ(ovtest::readAll(docs + "/Untitled 3.txt"), "template body");
    EXPECT_EQ(ovtest::readAll(docs + "/Untitled.txt"), "first");

    EXPECT_TRUE(run(*newFileAction("Untitled", ""), {docs}).success);
    EXPECT_EQ(ovtest::readAll(docs + "/Untitled 2"), "template body");
    EXPECT_EQ(ovtest::readAll(docs + "/Untitled"), "no extension");
}

TEST_F(NewFileRunTest, FailedCopyStopsAndReportsTheError)
{
    std::string one = folder("one");
    std::string two = folder("two");
    auto action = newFileAction("Untitled", "txt");
    action->setTemplateURL(home.path() + "/templates/missing.txt");
    auto result = run(*action, {one, two});
    EXPECT_FALSE(result.success);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, ENOENT);
    EXPECT_FALSE(exists(one + "/Untitled.txt"));
    EXPECT_FALSE(exists(two + "/Untitled.txt"));
}

TEST_F(NewFileRunTest, MissingTemplateOrUnsafeNameIsAFailedCopy)
{
    std::string docs = folder("docs");
    auto action = newFileAction("Untitled", "txt");
    action->setTemplateURL(std::nullopt);
    auto result = run(*action, {docs});
    EXPECT_FALSE(result.success);
    ASSERT_TRUE(result.error);
    EXPECT_FALSE(result.error->message.empty());

    for (const char* name : {"../escape", "..", ""}) {
        auto unsafe = newFileAction(name, "");
        EXPECT_FALSE(run(*unsafe, {docs}).success) << name;
    }
    EXPECT_FALSE(exists(home.path() + "/escape"));
}

TEST_F(NewFileRunTest, TemplateBehindALinkIsCopiedNotLinked)
{
    std::string docs = folder("docs");
    auto action = newFileAction("Untitled", "txt");
    std::string link = home.path() + "/templates/link.txt";
    ASSERT_EQ(symlink(action->templateURL()->c_str(), link.c_str()), 0);
    action->setTemplateURL(link);
    ASSERT_TRUE(run(*action, {docs}).success);
    struct stat st;
    ASSERT_EQ(lstat((docs + "/Untitled.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
}

} // namespace
