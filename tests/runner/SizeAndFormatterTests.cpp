// SPDX-License-Identifier: GPL-3.0-or-later
#include "CopyTestSupport.h"
#include "runner/HLFileSizeCalculator.h"
#include "runner/HLMemoryFormatter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <limits>

namespace {

TEST(HLMemoryFormatter, DecimalUnitsWithTwoFractionDigits)
{
    HLMemoryFormatter f;
    EXPECT_EQ(f.stringFromBytes(0), "0.0 bytes");
    EXPECT_EQ(f.stringFromBytes(999), "999.00 bytes");
    EXPECT_EQ(f.stringFromBytes(1000), "1.00 KB");
    EXPECT_EQ(f.stringFromBytes(1500), "1.50 KB");
    EXPECT_EQ(f.stringFromBytes(999999), "1000.00 KB"); // 999.999 stays below the next unit
    EXPECT_EQ(f.stringFromBytes(2500000), "2.50 MB");
    EXPECT_EQ(f.stringFromBytes(double(std::numeric_limits<std::uint64_t>::max())), "18.45 EB");
    EXPECT_EQ(f.arrayFromBytes(0), (std::pair<std::string, std::string>{"0.0", "bytes"}));
}

TEST(HLMemoryFormatter, UnitLimitsAndAbbreviations)
{
    HLMemoryFormatter f;
    f.maximumUnit = 1;
    EXPECT_EQ(f.stringFromBytes(2500000), "2500.00 KB");
    f.maximumUnit = 6;
    f.minimumUnit = 1;
    EXPECT_EQ(f.stringFromBytes(999), "1.00 KB");
    f.minimumUnit = 0;
    f.formatterStyle = HLMemoryFormatter::Abbreviated;
    EXPECT_EQ(f.stringFromBytes(1500), "1.50 K");
    EXPECT_DOUBLE_EQ(f.convertBytes(-1, 5e6), 5e6);
}

class SizeTest : public ::testing::Test {
protected:
    std::string write(const std::string& relative, std::size_t bytes) { return home.writeFile(relative, std::string(bytes, 'x')); }
    ovtest::TempHome home;
};

TEST_F(SizeTest, SumsFilesBelowAFolderWithoutFollowingLinks)
{
    std::string tree = home.makeFolder("tree");
    write("tree/a", 100);
    write("tree/.hidden", 20);
    write("tree/sub/b", 3000);
    write("tree/sub/deeper/.c", 4);
    write("outside/big", 50000);
    home.makeFolder("tree/empty");
    // Links count their own size (the length of what they point to) and are never entered.
    ASSERT_EQ(symlink("../outside/big", (tree + "/to-file").c_str()), 0);
    ASSERT_EQ(symlink("../outside", (tree + "/to-folder").c_str()), 0);
    ASSERT_EQ(symlink(".", (tree + "/sub/loop").c_str()), 0);
    ASSERT_EQ(symlink("..", (tree + "/sub/up").c_str()), 0);
    ASSERT_EQ(mkfifo((tree + "/fifo").c_str(), 0600), 0); // measured, never opened

    const std::int64_t links = 14 + 10 + 1 + 2;
    HLFileSizeCalculator calculator;
    EXPECT_EQ(calculator.fileSizeForPath(tree), 100 + 20 + 3000 + 4 + links);
    EXPECT_EQ(calculator.fileSizeForDirectory(tree), 100 + 20 + 3000 + 4 + links);
    EXPECT_EQ(calculator.fileSizeForPath(tree + "/sub/b"), 3000);
    EXPECT_EQ(calculator.fileSizeForPath(tree + "/to-folder"), 10);
    EXPECT_EQ(calculator.fileSizeForPath(tree + "/missing"), 0);

    calculator.cancel();
    EXPECT_EQ(calculator.fileSizeForPath(tree), 0);
    EXPECT_EQ(calculator.fileSizeForPath(tree + "/sub/b"), 0);
}

TEST_F(SizeTest, FoldersThatCannotBeReadAddNothing)
{
    std::string tree = home.makeFolder("tree");
    write("tree/readable", 10);
    write("tree/closed/secret", 777);
    write("tree/closed/inner/more", 5);
    ASSERT_EQ(chmod(home.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod((tree + "/closed").c_str(), 0), 0);

    std::int64_t size = -1;
    runWithPermissionsApplying([&] { size = HLFileSizeCalculator().fileSizeForPath(tree); });
    EXPECT_EQ(size, 10);
    chmod((tree + "/closed").c_str(), 0755);
}

TEST_F(SizeTest, AnswersOnTheMainContextAndDropsNothingUncancelled)
{
    write("tree/a", 1234);
    write("tree/b/c", 1);
    HLFileSizeCalculator calculator;
    std::optional<std::uint64_t> answer;
    calculator.fileSizeForPath(home.path() + "/tree", [&](std::uint64_t size) { answer = size; });
    EXPECT_FALSE(answer); // never at once
    ASSERT_TRUE(ovtest::pumpUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(*answer, 1235u);
}

} // namespace
