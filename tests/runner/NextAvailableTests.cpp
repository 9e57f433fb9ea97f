// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/NextAvailable.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

TEST(NextAvailable, FreePathIsKept)
{
    ovtest::TempHome home;
    EXPECT_EQ(hl_nextAvailablePath(home.path() + "/Untitled.txt"), home.path() + "/Untitled.txt");
}

TEST(NextAvailable, NumberGoesBetweenBaseAndLastExtension)
{
    ovtest::TempHome home;
    home.writeFile("Untitled.txt", "");
    home.writeFile("Archive.tar.gz", "");
    home.makeFolder("Photos");
    home.writeFile("Untitled", "");
    EXPECT_EQ(hl_nextAvailablePath(home.path() + "/Untitled.txt"), home.path() + "/Untitled 2.txt");
    EXPECT_EQ(hl_nextAvailablePath(home.path() + "/Archive.tar.gz"), home.path() + "/Archive.tar 2.gz");
    EXPECT_EQ(hl_nextAvailablePath(home.path() + "/Photos"), home.path() + "/Photos 2");
    EXPECT_EQ(hl_nextAvailablePath(home.path() + "/Photos/"), home.path() + "/Photos 2");
    EXPECT_EQ(hl_nextAvailablePath(home.path() + "/Untitled"), home.path() + "/Untitled 2");
}

TEST(NextAvailable, CountsOnFromTheFirstTakenNumberOnly)
{
    ovtest::TempHome home;
    home.writeFile("Untitled.txt", "");
    home.writeFile("Untitled 2.txt", "");
    home.writeFile("Untitled 7.txt", "");
    EXPECT_EQ(hl_nextAvailablePath(home.path() + "/Untitled.txt"), home.path() + "/Untitled 3.txt");
}

TEST(NextAvailable, HiddenFilesAndTrailingDotsHaveNoExtension)
{
    ovtest::TempHome home;
    home.writeFile(".profile", "");
    home.writeFile("notes.", "");
    EXPECT_EQ(hl_nextAvailablePath(home.path() + "/.profile"), home.path() + "/.profile 2");
    EXPECT_EQ(hl_nextAvailablePath(home.path() + "/notes."), home.path() + "/notes. 2");
    EXPECT_EQ(hl_pathExtension("/a/.profile"), "");
    EXPECT_EQ(hl_pathExtension("/a.d/file"), "");
    EXPECT_EQ(hl_pathExtension("/a/b.tar.gz"), "gz");
}

TEST(NextAvailable, DanglingLinkIsNotAFreeName)
{
    ovtest::TempHome home;
    ASSERT_EQ(symlink("/nonexistent/target", (home.path() + "/Link.txt").c_str()), 0);
    EXPECT_EQ(hl_nextAvailablePath(home.path() + "/Link.txt"), home.path() + "/Link 2.txt");
}

TEST(CommonAncestor, Cases)
{
    EXPECT_FALSE(hl_commonAncestorWithPaths({}).has_value());
    EXPECT_EQ(hl_commonAncestorWithPaths({"/a/b"}), "/a");
    EXPECT_EQ(hl_commonAncestorWithPaths({"/a"}), "/");
    EXPECT_EQ(hl_commonAncestorWithPaths({"/a/b/c", "/a/b/d/e"}), "/a/b");
    EXPECT_EQ(hl_commonAncestorWithPaths({"/x/y", "/z"}), "/");
    // A folder holding the others is itself the answer, not its parent.
    EXPECT_EQ(hl_commonAncestorWithPaths({"/a/b", "/a/b/c", "/a/b/d"}), "/a/b");
    // Components compare whole: /a/bc is not inside /a/b.
    EXPECT_EQ(hl_commonAncestorWithPaths({"/a/b", "/a/bc"}), "/a");
    EXPECT_EQ(hl_commonAncestorWithPaths({"/a/b/", "/a/b//c"}), "/a/b");
    EXPECT_EQ(hl_commonAncestorWithPaths({"/a/b/c", "/a/b/c"}), "/a/b/c");
}
