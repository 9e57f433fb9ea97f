// SPDX-License-Identifier: GPL-3.0-or-later
// The keyed archive on its own: it holds whatever classes its reader can make, and nothing else.
#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"
#include "archive/UTF8.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <random>

namespace {

class Note : public OVArchivable {
public:
    const char* className() const override { return "Note"; }
    std::vector<std::string> classHierarchy() const override { return {"Note", "NSObject"}; }
    void encodeWithCoder(OVKeyedArchiver& coder) const override
    {
        coder.encodeString("text", text);
        coder.encodeData("bytes", bytes);
        std::vector<const OVArchivable*> list;
        for (const auto& child : children)
            list.push_back(child.get());
        coder.encodeObjects("children", list);
    }
    void initWithCoder(OVKeyedUnarchiver& coder) override
    {
        text = coder.decodeString("text");
        bytes = coder.decodeData("bytes").value_or("");
        for (const auto& child : coder.decodeObjects("children"))
            children.push_back(std::dynamic_pointer_cast<Note>(child));
    }

    std::optional<std::string> text;
    std::string bytes;
    std::vector<std::shared_ptr<Note>> children;
};

OVArchivablePtr makeNote(const std::string& className, const std::vector<std::string>&)
{
    return className == "Note" ? std::make_shared<Note>() : nullptr;
}

} // namespace

TEST(KeyedArchive, ObjectsOfTheReadersClassesRoundTripAndNoOthersAreRead)
{
    auto shared = std::make_shared<Note>();
    shared->text = "shared";
    auto a = std::make_shared<Note>();
    a->bytes = std::string("\0\x89PNG", 5);
    a->children = {shared, nullptr, shared};
    auto b = std::make_shared<Note>();
    b->children = {shared, b}; // holds itself: left out rather than looping
    const OVArchivable* roots[] = {a.get(), b.get()};
    const std::string data = OVKeyedArchiver::archivedDataWithRootObjects(roots);
    b->children.pop_back(); // the cycle was for the archiver only

    std::string error;
    auto back = OVKeyedUnarchiver::unarchiveObjects(data, makeNote, &error);
    ASSERT_TRUE(back) << error;
    ASSERT_EQ(back->size(), 2u);
    auto backA = std::dynamic_pointer_cast<Note>((*back)[0]);
    auto backB = std::dynamic_pointer_cast<Note>((*back)[1]);
    ASSERT_TRUE(backA && backB);
    EXPECT_EQ(backA->bytes, a->bytes);
    EXPECT_FALSE(backA->text);
    ASSERT_EQ(backA->children.size(), 2u);
    EXPECT_EQ(backA->children[0]->text, "shared");
    EXPECT_EQ(backA->children[0], backA->children[1]);
    ASSERT_EQ(backB->children.size(), 1u);
    EXPECT_EQ(backB->children[0], backA->children[0]);

    // A reader that cannot make the class refuses the whole archive and names the class.
    auto nothing = [](const std::string&, const std::vector<std::string>&) -> OVArchivablePtr { return nullptr; };
    EXPECT_FALSE(OVKeyedUnarchiver::unarchiveObjects(data, nothing, &error));
    EXPECT_NE(error.find("'Note'"), std::string::npos) << error;
    EXPECT_FALSE(OVKeyedUnarchiver::unarchiveObjects(data, OVArchiveClassFactory(), &error));
    // The value reader makes no objects of classes: the notes read as nothing.
    EXPECT_EQ(OVKeyedUnarchiver::unarchiveValue(data), OVValue(OVValue::Array{}));
}

TEST(UTF8, DecodingAndRepairAgreeWithGLib)
{
    std::mt19937 random(11);
    for (int n = 0; n < 3000; ++n) {
        std::string s;
        for (int i = int(random() % 12); i > 0; --i) {
            // Mostly bytes around the edges of the multi-byte forms.
            static const unsigned char edges[] = {0x7F, 0x80, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xED,
                                                  0xEF, 0xF0, 0xF4, 0xF5, 0xFF, 0x9F, 0xA0, 0x8F, 0x90};
            s += char(random() % 2 ? edges[random() % sizeof edges] : 1 + random() % 255);
        }
        const bool valid = g_utf8_validate_len(s.data(), s.size(), nullptr);
        const std::string repaired = ovutf8::repaired(s);
        EXPECT_EQ(repaired == s, valid);
        EXPECT_EQ(ovutf8::isValid(s), valid);
        ASSERT_TRUE(g_utf8_validate_len(repaired.data(), repaired.size(), nullptr));
        for (std::size_t i = 0; i < repaired.size();) {
            auto c = ovutf8::decode(repaired, i);
            ASSERT_TRUE(c);
            EXPECT_EQ(gunichar(c->value), g_utf8_get_char(repaired.data() + i));
            EXPECT_EQ(c->length, std::size_t(g_utf8_next_char(repaired.data() + i) - (repaired.data() + i)));
            i += c->length;
        }
    }
    EXPECT_EQ(ovutf8::repaired(std::string("a\0\xC3", 3)), std::string("a\0\xEF\xBF\xBD", 5));
}
