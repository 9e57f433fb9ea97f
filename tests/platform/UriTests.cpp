// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Uri.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

namespace {

bool isUnreserved(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

// Every byte value, then random byte strings with NULs, percent signs and separators mixed in.
std::vector<std::string> hostileTexts()
{
    std::vector<std::string> texts;
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += char(c);
    texts.push_back(all);
    texts.push_back(std::string("a\0b", 3));
    texts.push_back("%%41%zz%2");
    texts.push_back("");
    std::mt19937 random(7);
    const std::string spice = std::string("%/?#&=;: \0\xff\xc3", 12);
    for (int n = 0; n < 200; ++n) {
        std::string s;
        for (int i = int(random() % 24); i > 0; --i)
            s += random() % 3 ? char(random() % 256) : spice[random() % spice.size()];
        texts.push_back(s);
    }
    return texts;
}

} // namespace

TEST(Uri, EscapeKeepsOnlyWhatItMayAndUnescapeRestoresEveryByte)
{
    for (const auto& text : hostileTexts()) {
        for (const char* keep : {"", "/", "!$&'()*+,;=@/:"}) {
            const std::string escaped = ov::uri::escape(text, keep);
            for (std::size_t i = 0; i < escaped.size(); ++i) {
                const unsigned char c = escaped[i];
                if (c == '%') {
                    ASSERT_LT(i + 2, escaped.size()) << escaped;
                    EXPECT_TRUE(std::isxdigit(escaped[i + 1]) && !std::islower(escaped[i + 1])) << escaped;
                    EXPECT_TRUE(std::isxdigit(escaped[i + 2]) && !std::islower(escaped[i + 2])) << escaped;
                    i += 2;
                    continue;
                }
                EXPECT_TRUE(isUnreserved(c) || std::string_view(keep).find(char(c)) != std::string_view::npos)
                    << "'" << c << "' left in " << escaped;
            }
            EXPECT_EQ(ov::uri::unescape(escaped), text);
            EXPECT_EQ(ov::uri::isWellFormed(escaped), !escaped.empty());
        }
    }
    EXPECT_EQ(ov::uri::escape("X&file=../../etc/passwd"), "X%26file%3D..%2F..%2Fetc%2Fpasswd");
    EXPECT_EQ(ov::uri::unescape("%2e%2E%00"), std::string("..\0", 3));
    for (const char* bad : {"%", "%2", "a%zz", "100%", "%g0"})
        EXPECT_FALSE(ov::uri::unescape(bad)) << bad;
}

TEST(Uri, FilePathsRoundTripAndEverythingElseIsRefused)
{
    for (auto path : hostileTexts()) {
        // What a path can be: absolute, no NUL, no trailing slash.
        path = "/" + path;
        std::erase(path, '\0');
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        EXPECT_EQ(ov::uri::filePath(ov::uri::fileURI(path)), path) << ov::uri::fileURI(path);
        EXPECT_EQ(ov::uri::filePath(ov::uri::fileURI(path, "!$&'()*+,;=@/:")), path);
    }
    EXPECT_EQ(ov::uri::filePath("file://LOCALHOST/a//"), "/a");
    EXPECT_EQ(ov::uri::filePath("/plain/100%"), "/plain/100%");
    EXPECT_EQ(ov::uri::filePath("/plain/a%20b"), "/plain/a b");
    EXPECT_EQ(ov::uri::filePath("x?y#z", "file:///a/b"), "/a/x");
    EXPECT_EQ(ov::uri::filePath("https://h/x", "file:///a/b"), std::nullopt);
    for (const char* refused : {"file://host/x", "file://user@localhost/x", "file://localhost:80/x", "ftp:///x",
                                "file:///a%00b", "file:///a%2", "file://", "", "/a%00"})
        EXPECT_EQ(ov::uri::filePath(refused), std::nullopt) << refused;
    EXPECT_EQ(ov::uri::filePath(std::string("/a\0b", 4)), std::nullopt);
    EXPECT_EQ(ov::uri::filePath("x", "relative/base"), std::nullopt);
}

TEST(Uri, QueryIsTakenAsWrittenFromWellFormedURIsOnly)
{
    EXPECT_EQ(ov::uri::query("orvane://runaction/?action=A&file=%2e%41#frag"), "action=A&file=%2e%41");
    EXPECT_EQ(ov::uri::query("orvane://runaction?"), "");
    EXPECT_EQ(ov::uri::query("x:y#frag?notquery"), std::nullopt);
    EXPECT_EQ(ov::uri::query("orvane://runaction"), std::nullopt);
    EXPECT_TRUE(ov::uri::isWellFormed("orvane://runaction?action=A&file=F#f"));
    for (const char* bad : {"", "a b", "a#b#c", "a%2", "a%G0", "a\"b", "a<b>", "\xc3\xbc", "a\nb", "a{b}", "a|b"})
        EXPECT_FALSE(ov::uri::isWellFormed(bad)) << bad;
}
