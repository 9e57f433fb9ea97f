// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVRichText.h"

#include <gtest/gtest.h>

#include <glib.h>

#include <string>

namespace {

using OVRichText::plainText;

TEST(RichText, KeepsTheTextAndItsLinesDropsFormattingAndTables)
{
    const std::string doc = "{\\rtf1\\ansi\\ansicpg1252\\deff0\n"
                            "{\\fonttbl{\\f0\\fswiss\\fcharset0 Cantarell;}}\n"
                            "{\\colortbl;\\red0\\green0\\blue0;}\n"
                            "{\\*\\generator Some Writer 1.0;}{\\info{\\author Someone}}\n"
                            "\\f0\\fs24\n"
                            "{\\b\\fs28 Orvane uses these libraries}\\par\n"
                            "\\par\n"
                            "GLib\\tab LGPL\\line https://gtk.org\\par\n"
                            "{\\*\\unknowndestination hidden}Last\\par\n"
                            "}";
    EXPECT_EQ(plainText(doc), "Orvane uses these libraries\n\nGLib\tLGPL\nhttps://gtk.org\nLast\n");
    // The space after a control word is its delimiter; a second one is text; line ends in the
    // source are not.
    EXPECT_EQ(plainText("{\\rtf1 A\\b B\\b0  C\r\nD}"), "AB CD");
}

TEST(RichText, DecodesEscapesCodePageAndUnicodeCharacters)
{
    EXPECT_EQ(plainText("{\\rtf1 \\\\ \\{x\\} caf\\'e9 \\'80\\'96}"), "\\ {x} café €–");
    // \u with its stand-in ("?"), negative values, \uc changing how many stand-ins follow, and a
    // surrogate pair.
    EXPECT_EQ(plainText("{\\rtf1 \\u8364?/\\u-3?/{\\uc2\\u233 xy}z/\\uc0\\u-10179 \\u-8704 }"),
              "€/\xef\xbf\xbd/éz/\xf0\x9f\x98\x80");
    EXPECT_EQ(plainText("{\\rtf1 a\\~b\\-c\\emdash\\ldblquote q\\rdblquote}"), "a\u00a0bc\u2014\u201cq\u201d");
}

TEST(RichText, AnyBytesGiveValidTextWithoutOverrunning)
{
    const std::string hostile[] = {
        "{\\rtf1 cut\\'",
        "{\\rtf1 cut\\'4",
        "{\\rtf1 bad\\'zz hex}",
        "{\\rtf1 }}}}} after {{{{ open",
        "{\\rtf1 \\u99999999999999999999? \\u-99999999? \\uc99999999\\u65 x}",
        "{\\rtf1 \\",
        "{\\rtf1 \\u",
        "{\\rtf1 {\\*",
        std::string("{\\rtf1 \\'00nul") + '\0' + "inside}",
        std::string(200000, '{') + "deep" + std::string(10, '}'),
        "{\\rtf1 \\" + std::string(100000, 'a') + " word}",
    };
    for (const auto& doc : hostile) {
        SCOPED_TRACE(doc.substr(0, 60));
        const std::string text = plainText(doc);
        EXPECT_TRUE(g_utf8_validate(text.data(), gssize(text.size()), nullptr));
        EXPECT_LE(text.size(), doc.size() * 4);
    }
    EXPECT_EQ(plainText(std::string(200000, '{') + "deep"), "deep");
    EXPECT_EQ(plainText("{\\rtf1 }}}}} after"), " after");

    EXPECT_TRUE(OVRichText::looksLikeRichText("{\\rtf1\\ansi"));
    EXPECT_FALSE(OVRichText::looksLikeRichText("Thanks to {\\rtf"));
    EXPECT_FALSE(OVRichText::looksLikeRichText("{\\rt"));
}

} // namespace
