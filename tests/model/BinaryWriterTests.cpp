// SPDX-License-Identifier: GPL-3.0-or-later
// The binary property lists we write ourselves, read back by libplist: every object as meant,
// every width of reference and offset, and the keyed archives built on top.
#include "archive/BinaryWriter.h"
#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"
#include "archive/OVPropertyList.h"
#include "archive/UTF8.h"
#include "model/OVActionArchive.h"
#include "model/OVActionGroup.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVMoveToAction.h"
#include "model/OVShellScriptAction.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <climits>
#include <cstring>
#include <memory>

namespace {

using Ref = ovplist::BinaryWriter::Ref;

// Builds the same structure twice: through the writer, and as a libplist tree that says what we
// meant. Each libplist node is used once, in the container it is handed to.
struct Mirror {
    ovplist::BinaryWriter writer;
    struct Node {
        Ref ref;
        plist_t node;
    };

    Node string(const std::string& s, const std::string& meant) { return {writer.string(s), plist_new_string(meant.c_str())}; }
    Node string(const std::string& s) { return string(s, s); }
    Node integer(int64_t i) { return {writer.integer(i), plist_new_uint(uint64_t(i))}; }
    Node real(double d) { return {writer.real(d), plist_new_real(d)}; }
    Node boolean(bool b) { return {writer.boolean(b), plist_new_bool(b)}; }
    Node data(const std::string& d) { return {writer.data(d), plist_new_data(d.data(), d.size())}; }
    Node uid(uint64_t u) { return {writer.uid(u), plist_new_uid(u)}; }
    Node array(const std::vector<Node>& items)
    {
        std::vector<Ref> refs;
        plist_t a = plist_new_array();
        for (const auto& n : items) {
            refs.push_back(n.ref);
            plist_array_append_item(a, n.node);
        }
        return {writer.array(refs), a};
    }
    Node dict(const std::vector<std::pair<std::string, Node>>& members)
    {
        std::vector<ovplist::BinaryWriter::Member> refs;
        plist_t d = plist_new_dict();
        for (const auto& [k, n] : members) {
            refs.emplace_back(writer.string(k), n.ref);
            plist_dict_set_item(d, k.c_str(), n.node);
        }
        return {writer.dictionary(refs), d};
    }
};

struct Trailer {
    unsigned offsetSize, refSize;
    uint64_t objects, root, table;
};

uint64_t be(const std::string& s, std::size_t at, unsigned n)
{
    uint64_t v = 0;
    for (unsigned i = 0; i < n; ++i)
        v = (v << 8) | (unsigned char)s[at + i];
    return v;
}

Trailer trailerOf(const std::string& bytes)
{
    const std::size_t t = bytes.size() - 32;
    return {(unsigned char)bytes[t + 6], (unsigned char)bytes[t + 7], be(bytes, t + 8, 8), be(bytes, t + 16, 8),
            be(bytes, t + 24, 8)};
}

std::unique_ptr<void, void (*)(plist_t)> own(plist_t node) { return {node, plist_free}; }

// libplist's own reading of the bytes, compared with the tree we meant, node by node and as values.
void expectReadsAs(const std::string& bytes, plist_t meant)
{
    auto meantOwner = own(meant);
    ASSERT_TRUE(bytes.starts_with("bplist00"));
    std::string error;
    ASSERT_TRUE(ovplist::validateBinary(bytes, &error)) << error;
    plist_t read = nullptr;
    plist_from_bin(bytes.data(), uint32_t(bytes.size()), &read);
    ASSERT_NE(read, nullptr);
    auto readOwner = own(read);
    auto a = ovplist::toValue(read), b = ovplist::toValue(meant);
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(*a == *b);
    // The XML form shows what the value form cannot: key order and integer against real.
    EXPECT_EQ(ovplist::toXML(read), ovplist::toXML(meant));
}

TEST(ArchiveBinaryWriter, EveryKindOfObjectReadsBackAsMeant)
{
    Mirror m;
    const std::string longASCII(300, 'x');
    const std::string malformed = "a\xff" "b\xed\xa0\x80";
    auto root = m.dict({
        {"empty", m.string("")},
        {"ascii", m.string("plain text")},
        {"fifteen", m.string("exactly 15 char")},
        {"long", m.string(longASCII)},
        {"latin", m.string("Grüße")},
        {"cjk", m.string("日本語のタイトル")},
        {"astral", m.string("a😀b𝄞")},
        {"longUnicode", m.string(std::string(20, 'a') + "ü")},
        {"malformed", m.string(malformed, ovutf8::repaired(malformed))},
        {"ints", m.array({m.integer(0), m.integer(255), m.integer(256), m.integer(65535), m.integer(65536),
                          m.integer(0xFFFFFFFFll), m.integer(0x100000000ll), m.integer(INT64_MAX), m.integer(-1),
                          m.integer(INT64_MIN)})},
        {"reals", m.array({m.real(0.25), m.real(-1e300), m.real(0.1), m.real(0)})},
        {"bools", m.array({m.boolean(true), m.boolean(false), m.boolean(true)})},
        {"data", m.array({m.data(""), m.data(std::string("\0\1\2", 3)), m.data(std::string(300, '\x7f'))})},
        {"uids", m.array({m.uid(0), m.uid(255), m.uid(256), m.uid(70000), m.uid(0), m.uid(0xFFFFFFFFu)})},
        {"emptyArray", m.array({})},
        {"emptyDict", m.dict({})},
        {"nested", m.dict({{"ü-key", m.array({m.dict({{"k", m.string("v")}})})}})},
    });
    std::string bytes = m.writer.finish(root.ref);
    expectReadsAs(bytes, root.node);
}

TEST(ArchiveBinaryWriter, StringsAreASCIIOrUTF16AndShared)
{
    auto single = [](const std::string& s) {
        ovplist::BinaryWriter w;
        return w.finish(w.string(s));
    };
    std::string ascii = single("abc");
    EXPECT_EQ(ascii.substr(8, 4), "\x53" "abc");
    std::string wide = single("ü😀");
    EXPECT_EQ(wide.substr(8, 7), std::string("\x63\x00\xFC\xD8\x3D\xDE\x00", 7));
    std::string empty = single("");
    EXPECT_EQ(empty[8], '\x50');

    ovplist::BinaryWriter w;
    Ref k = w.string("title");
    Ref members[] = {w.string("title"), w.string("Grüße"), w.string("Grüße"), w.uid(3), w.uid(3)};
    EXPECT_EQ(members[0], k);
    EXPECT_EQ(members[1], members[2]);
    EXPECT_EQ(members[3], members[4]);
    EXPECT_EQ(w.objectCount(), 3u);
}

// Builds an array of n distinct strings, read back through libplist; the trailer's widths follow
// the object count and the position of the offset table.
void expectWidths(int n, unsigned refSize, unsigned minOffsetSize)
{
    Mirror m;
    std::vector<Mirror::Node> items;
    for (int i = 0; i < n; ++i)
        items.push_back(m.string("s" + std::to_string(i)));
    auto root = m.array(items);
    std::string bytes = m.writer.finish(root.ref);
    Trailer t = trailerOf(bytes);
    EXPECT_EQ(t.objects, uint64_t(n) + 1);
    EXPECT_EQ(t.root, root.ref);
    EXPECT_EQ(t.refSize, refSize) << n;
    EXPECT_GE(t.offsetSize, minOffsetSize) << n;
    // The fewest bytes that hold the offset table's position.
    EXPECT_NE(t.table >> 8 * (t.offsetSize - 1), 0u);
    EXPECT_EQ(t.table >> 8 * (t.offsetSize - 1) >> 8, 0u);
    expectReadsAs(bytes, root.node);
}

TEST(ArchiveBinaryWriter, ReferenceWidthsFollowTheObjectCount)
{
    expectWidths(3, 1, 1);
    expectWidths(254, 1, 2);   // 255 objects
    expectWidths(255, 2, 2);   // 256 objects: a byte could not count them all
    expectWidths(320, 2, 2);
    expectWidths(70000, 3, 3); // past 65,535 objects and 64 KiB of objects
}

OVActionList catalogue(int groups)
{
    OVActionList list;
    for (int g = 0; g < groups; ++g) {
        auto group = OVAction::action<OVMoveActionGroup>();
        group->setTitle(g % 3 == 0 ? "" : "Gruppe " + std::to_string(g) + " ü 😀");
        for (int c = 0; c < 9; ++c) {
            auto child = OVAction::action<OVMoveToAction>();
            child->setTitle("Folder " + std::to_string(c));
            child->setDestinationURL("/home/user/Ördner " + std::to_string(g) + "/" + std::to_string(c));
            child->setFileTypes(OVStringList{"image/*", "text/plain"});
            group->addAction(child);
        }
        list.push_back(group);
        auto script = OVAction::action<OVShellScriptAction>();
        script->setTitle("Script " + std::to_string(g));
        script->setScriptURL("/home/user/scripts/" + std::to_string(g) + ".sh");
        list.push_back(script);
    }
    return list;
}

// The ordered keys of a libplist dictionary.
std::vector<std::string> keysOf(plist_t dict)
{
    std::vector<std::string> keys;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(dict, &it);
    for (;;) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(dict, it, &key, &item);
        if (!item) {
            free(key);
            break;
        }
        keys.emplace_back(key);
        free(key);
    }
    free(it);
    return keys;
}

TEST(ArchiveLayout, ActionArchiveReadsBackThroughLibplist)
{
    OVActionList list = catalogue(40);
    std::string bytes = OVActionArchive::archivedDataWithRootActions(list);
    EXPECT_EQ(trailerOf(bytes).refSize, 2u);
    plist_t top = ovplist::parse(bytes);
    ASSERT_NE(top, nullptr);
    auto topOwner = own(top);
    EXPECT_EQ(keysOf(top), (std::vector<std::string>{"$archiver", "$version", "$top", "$objects"}));
    plist_t objects = plist_dict_get_item(top, "$objects");
    ASSERT_GT(plist_array_get_size(objects), 300u);
    auto first = ovplist::toValue(plist_array_get_item(objects, 0));
    EXPECT_EQ(*first, OVValue("$null"));
    // Every object that is a dictionary names its class first, by UID, and every UID points
    // inside "$objects".
    const uint32_t count = plist_array_get_size(objects);
    for (uint32_t i = 0; i < count; ++i) {
        plist_t o = plist_array_get_item(objects, i);
        if (plist_get_node_type(o) != PLIST_DICT)
            continue;
        auto keys = keysOf(o);
        if (keys.front() == "$classname")
            continue;
        EXPECT_EQ(keys.front(), "$class");
        for (const auto& k : keys) {
            plist_t v = plist_dict_get_item(o, k.c_str());
            if (plist_get_node_type(v) == PLIST_UID) {
                uint64_t uid = 0;
                plist_get_uid_val(v, &uid);
                EXPECT_LT(uid, count);
            }
        }
    }

    auto back = OVActionArchive::unarchiveActions(bytes);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ((*back)[i]->className(), std::string(list[i]->className()));
        EXPECT_EQ((*back)[i]->title(), list[i]->title());
        EXPECT_EQ((*back)[i]->uid(), list[i]->uid());
    }
    auto group = std::static_pointer_cast<OVActionGroup>((*back)[2]);
    ASSERT_EQ(group->actions().size(), 9u);
    auto child = std::static_pointer_cast<OVMoveToAction>(group->actions()[4]);
    EXPECT_EQ(child->destinationURL(), "/home/user/Ördner 1/4");
    EXPECT_EQ(child->fileTypes(), (OVStringList{"image/*", "text/plain"}));
}

TEST(ArchiveLayout, LargeValueArchivesRoundTrip)
{
    OVValue::Array many;
    for (int i = 0; i < 36000; ++i)
        many.push_back(i % 2 ? OVValue("item " + std::to_string(i)) : OVValue(int64_t(i) * 1000003));
    OVValue::Dictionary d{{"", ""},
                          {"many", many},
                          {"ünï", "😀 ok"},
                          {"min", INT64_MIN},
                          {"max", INT64_MAX},
                          {"real", -2.5e-300},
                          {"yes", true},
                          {"no", false},
                          {"blob", OVData{std::string(1000, '\0')}},
                          {"nested", OVValue::Array{OVValue::Dictionary{}, OVValue::Array{}, "$null"}}};
    std::string bytes = OVKeyedArchiver::archivedDataWithRootValue(OVValue(d));
    Trailer t = trailerOf(bytes);
    EXPECT_GT(t.objects, 70000u);
    EXPECT_EQ(t.refSize, 3u);
    EXPECT_GE(t.offsetSize, 3u);
    std::string error;
    auto back = OVKeyedUnarchiver::unarchiveValue(bytes, &error);
    ASSERT_TRUE(back) << error;
    EXPECT_TRUE(*back == OVValue(d));
}

} // namespace
