// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/CopyReservations.h"
#include "platform/CopyStop.h"
#include "platform/Files.h"
#include "platform/MovingItems.h"
#include "platform/UserFolders.h"
#include "support/TestSupport.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <dirent.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> entries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (struct dirent* e = ::readdir(dir)) {
            std::string n = e->d_name;
            if (n != "." && n != "..")
                names.push_back(n);
        }
        ::closedir(dir);
    }
    return names;
}

} // namespace

// The switch the runner throws when it ends reaches the copier, which lives in another file.
TEST(Copying, TheStopSwitchStopsEveryCopyUntilItIsReleased)
{
    ovtest::TempHome home;
    home.writeFile("src/tree/a/first", std::string(5000, 'f'));
    home.writeFile("src/tree/b", "b");
    const std::string dest = home.makeFolder("dest");
    ovtest::Restore release([] { ov::stopEveryCopy(false); });

    ov::stopEveryCopy(true);
    ov::MoveResult stopped = ov::copyItem(home.path() + "/src/tree", dest + "/tree");
    EXPECT_EQ(stopped.outcome, ov::FileOutcome::Failed);
    EXPECT_EQ(stopped.error.code, ECANCELED) << stopped.error.message;
    EXPECT_TRUE(entries(dest).empty()) << "a stopped copy leaves nothing behind";

    ov::stopEveryCopy(false);
    ov::MoveResult copied = ov::copyItem(home.path() + "/src/tree", dest + "/tree");
    ASSERT_EQ(copied.outcome, ov::FileOutcome::Done) << copied.error.message;
    EXPECT_EQ(ovtest::readAll(dest + "/tree/a/first"), std::string(5000, 'f'));
    EXPECT_EQ(ovtest::readAll(home.path() + "/src/tree/b"), "b");
}

// The destination is judged by where it really is: a link to the folder, or a folder on the way
// named through one, does not let the folder be copied into itself.
TEST(Copying, AReservedCopyOfAFolderIsNeverMadeInsideIt)
{
    ovtest::TempHome home;
    const std::string folder = home.makeFolder("work/photos");
    home.makeFolder("work/photos/inner");
    ASSERT_EQ(::symlink(folder.c_str(), (home.path() + "/work/link").c_str()), 0);

    for (const std::string& dst : {folder + "/photos copy", folder + "/inner/photos copy",
                                   home.path() + "/work/link/photos copy"}) {
        ov::ReservedCopy reserved;
        ov::MoveResult r = ov::reserveCopyBeside(folder, dst, &reserved);
        EXPECT_EQ(r.outcome, ov::FileOutcome::Failed) << dst;
        EXPECT_EQ(r.error.code, EINVAL) << dst;
        EXPECT_EQ(entries(folder), std::vector<std::string>{"inner"}) << dst;
        EXPECT_TRUE(entries(folder + "/inner").empty()) << dst;
    }

    // Beside the folder is fine: the reservation is a hidden item that the copy then fills.
    ov::ReservedCopy reserved;
    ov::MoveResult r = ov::reserveCopyBeside(folder, home.path() + "/work/photos copy", &reserved);
    ASSERT_EQ(r.outcome, ov::FileOutcome::Done) << r.error.message;
    EXPECT_EQ(ov::deletingLastPathComponent(reserved.path), home.path() + "/work");
    ov::FileError error;
    EXPECT_TRUE(ov::removeCopy(reserved, &error)) << error.message;
}

// A relative XDG folder would make the container depend on the working folder: it is ignored.
TEST(UserFolders, RelativeXdgFoldersAreIgnored)
{
    ovtest::TempHome home;
    const std::string absolute = home.dataHome();
    EXPECT_EQ(ov::userDataDir(), absolute);
    {
        ovtest::ScopedEnv data("XDG_DATA_HOME", std::string("relative/share"));
        ovtest::ScopedEnv config("XDG_CONFIG_HOME", std::string("relative/config"));
        EXPECT_EQ(ov::userDataDir(), std::string(g_get_home_dir()) + "/.local/share");
        EXPECT_EQ(ov::userConfigDir(), std::string(g_get_home_dir()) + "/.config");
    }
}
