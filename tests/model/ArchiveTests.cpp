// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVActionArchive.h"
#include "model/OVActionGroup.h"
#include "model/OVConvertImageAction.h"
#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"
#include "model/OVMoveToAction.h"
#include "model/OVNewFileAction.h"
#include "model/OVOpenFavesAction.h"
#include "model/OVCopyToAction.h"
#include "model/OVOpenWithAppAction.h"
#include "model/OVAppleScriptAction.h"
#include "archive/BinaryWriter.h"
#include "archive/OVPropertyList.h"
#include "model/OVShellScriptAction.h"
#include "model/OVUnknownAction.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <chrono>
#include <functional>
#include <fstream>
#include <random>
#include <sstream>

namespace {

const std::vector<std::string> kAllKinds = {
    "OVAction", "OVActionGroup", "OVOpenWithActionGroup", "OVCopyActionGroup", "OVMoveActionGroup",
    "OVNewFileActionGroup", "OVOpenFavesActionGroup", "OVConvertImageActionGroup", "OVMoveToAction",
    "OVCopyToAction", "OVOpenFavesAction", "OVNewFileAction", "OVConvertImageAction", "OVAppleScriptAction",
    "OVSecureRemoveAction", "OVResetAppPreferencesAction", "OVCompressPasswordAction", "OVOpenWithAppAction",
    "OVSendViaEmailAction", "OVShellScriptAction", "OVBundledScriptAction"};

std::string opt(const std::optional<std::string>& s) { return s ? "'" + *s + "'" : "-"; }

// Every stored field of an action (and of its children), for comparing two actions.
std::string describe(const OVAction& a)
{
    std::ostringstream o;
    o << a.className() << " uid=" << a.uid() << " enabled=" << a.enabled() << " title=" << opt(a.title())
      << " desc=" << opt(a.actionDescription()) << " default=" << a.isDefault() << " icon=";
    if (a.icon())
        o << "[" << a.icon()->serialized() << "|" << a.icon()->pngData().size() << "]";
    o << " types=";
    if (a.fileTypes())
        for (const auto& t : *a.fileTypes())
            o << t << ",";
    if (auto* m = dynamic_cast<const OVMoveToAction*>(&a))
        o << " dest=" << opt(m->destinationURL());
    if (auto* m = dynamic_cast<const OVCopyToAction*>(&a))
        o << " dest=" << opt(m->destinationURL());
    if (auto* m = dynamic_cast<const OVOpenFavesAction*>(&a))
        o << " dest=" << opt(m->destinationURL());
    if (auto* w = dynamic_cast<const OVOpenWithAppAction*>(&a))
        o << " app=" << opt(w->applicationURL());
    if (auto* s = dynamic_cast<const OVShellScriptAction*>(&a))
        o << " script=" << opt(s->scriptURL()) << " editable=" << s->isEditable();
    if (auto* s = dynamic_cast<const OVAppleScriptAction*>(&a))
        o << " script=" << opt(s->scriptURL());
    if (auto* c = dynamic_cast<const OVConvertImageAction*>(&a))
        o << " format=" << opt(c->outputFormat()) << " ext=" << opt(c->outputExtension());
    if (auto* n = dynamic_cast<const OVNewFileAction*>(&a))
        o << " template=" << opt(n->templateURL()) << " exec=" << n->executable() << " name=" << opt(n->fileName())
          << " ext=" << opt(n->extension());
    if (auto* g = dynamic_cast<const OVActionGroup*>(&a)) {
        o << " children={";
        for (const auto& c : g->actions())
            o << describe(*c) << ";";
        o << "}";
    }
    return o.str();
}

// An action of the named kind with every field set to something of its own.
OVActionPtr filled(const std::string& kind, int n)
{
    OVActionPtr a = OVAction::emptyInstanceOfClass(kind);
    a->generateUID();
    a->setEnabled(n % 2 == 0);
    a->setIsDefault(n % 3 == 0);
    a->setTitle("Title " + std::to_string(n) + " ü 100% $null");
    a->setActionDescription(n % 4 ? std::optional<std::string>("Does thing " + std::to_string(n)) : std::nullopt);
    a->setFileTypes(n % 5 ? std::optional<OVStringList>({"image/*", "text/plain"}) : std::nullopt);
    a->setIcon(n % 2 ? OVImage::named("icon-" + std::to_string(n)) : OVImage::fromPNGData(std::string("\x89PNG\0\1", 6)));
    const std::string path = "/home/u/Dir " + std::to_string(n) + "/ä%20#?:x";
    if (auto* m = dynamic_cast<OVMoveToAction*>(a.get()))
        m->setDestinationURL(path);
    if (auto* m = dynamic_cast<OVCopyToAction*>(a.get()))
        m->setDestinationURL(path);
    if (auto* m = dynamic_cast<OVOpenFavesAction*>(a.get()))
        m->setDestinationURL(path);
    if (auto* w = dynamic_cast<OVOpenWithAppAction*>(a.get()))
        w->setApplicationURL(path + ".desktop");
    if (auto* s = dynamic_cast<OVShellScriptAction*>(a.get())) {
        s->setScriptURL(path + ".sh");
        s->setIsEditable(n % 2 == 1);
    }
    if (auto* s = dynamic_cast<OVAppleScriptAction*>(a.get()))
        s->setScriptURL(path + ".scpt");
    if (auto* c = dynamic_cast<OVConvertImageAction*>(a.get())) {
        c->setOutputFormat("png");
        c->setOutputExtension(std::nullopt);
    }
    if (auto* f = dynamic_cast<OVNewFileAction*>(a.get())) {
        f->setTemplateURL(path + ".txt");
        f->setExecutable(true);
        f->setFileName("untitled");
        f->setExtension("txt");
    }
    return a;
}

OVActionList allKinds()
{
    OVActionList list;
    int n = 0;
    for (const auto& kind : kAllKinds) {
        auto a = filled(kind, n++);
        if (auto* g = dynamic_cast<OVActionGroup*>(a.get()))
            for (int i = 0; i < 3; ++i)
                g->addAction(filled(kAllKinds[(n + i * 5) % kAllKinds.size()], 100 + n * 10 + i));
        list.push_back(a);
    }
    return list;
}

// Builds keyed archives by hand, the way another archiver (or an attacker) might.
struct Builder {
    plist_t objects = plist_new_array();
    Builder() { add(plist_new_string("$null")); }
    ~Builder() { plist_free(objects); }
    uint64_t next() const { return plist_array_get_size(objects); }
    uint64_t add(plist_t node)
    {
        plist_array_append_item(objects, node);
        return next() - 1;
    }
    uint64_t str(const std::string& s) { return add(plist_new_string(s.c_str())); }
    uint64_t cls(const std::string& name) { return cls(name, {name, "NSObject"}); }
    uint64_t cls(const std::string& name, const std::vector<std::string>& classes)
    {
        plist_t d = plist_new_dict();
        plist_dict_set_item(d, "$classname", plist_new_string(name.c_str()));
        plist_t chain = plist_new_array();
        for (const auto& c : classes)
            plist_array_append_item(chain, plist_new_string(c.c_str()));
        plist_dict_set_item(d, "$classes", chain);
        return add(d);
    }
    static plist_t object(uint64_t classUID)
    {
        plist_t d = plist_new_dict();
        plist_dict_set_item(d, "$class", plist_new_uid(classUID));
        return d;
    }
    uint64_t array(uint64_t classUID, const std::vector<uint64_t>& uids)
    {
        plist_t d = object(classUID);
        plist_t list = plist_new_array();
        for (auto u : uids)
            plist_array_append_item(list, plist_new_uid(u));
        plist_dict_set_item(d, "NS.objects", list);
        return add(d);
    }
    plist_t top(uint64_t root) const
    {
        plist_t t = plist_new_dict();
        plist_dict_set_item(t, "$archiver", plist_new_string("NSKeyedArchiver"));
        plist_dict_set_item(t, "$version", plist_new_uint(100000));
        plist_t r = plist_new_dict();
        plist_dict_set_item(r, "root", plist_new_uid(root));
        plist_dict_set_item(t, "$top", r);
        plist_dict_set_item(t, "$objects", plist_copy(objects));
        return t;
    }
    std::string binary(uint64_t root) const
    {
        plist_t t = top(root);
        std::string s = ovplist::toBinary(t);
        plist_free(t);
        return s;
    }
    std::string xml(uint64_t root) const
    {
        plist_t t = top(root);
        std::string s = ovplist::toXML(t);
        plist_free(t);
        return s;
    }
};

void expectCorrupt(std::string_view data, const char* what)
{
    std::string error;
    EXPECT_FALSE(OVActionArchive::unarchiveActions(data, &error)) << what;
    EXPECT_FALSE(error.empty()) << what;
}

} // namespace

TEST(Archive, EveryKindRoundTripsThroughArchiveAndCopy)
{
    OVActionList source = allKinds();
    ASSERT_EQ(source.size(), 21u);
    std::string data = OVActionArchive::archivedDataWithRootActions(source);
    std::string error;
    auto decoded = OVActionArchive::unarchiveActions(data, &error);
    ASSERT_TRUE(decoded) << error;
    ASSERT_EQ(decoded->size(), source.size());
    for (std::size_t i = 0; i < source.size(); ++i) {
        EXPECT_EQ(describe(*(*decoded)[i]), describe(*source[i]));
        EXPECT_FALSE((*decoded)[i]->isNew());
        auto copy = source[i]->copy();
        EXPECT_NE(copy.get(), source[i].get());
        EXPECT_EQ(describe(*copy), describe(*source[i]));
        EXPECT_FALSE(copy->isNew());
    }
}

TEST(Archive, MissingKeysReadAsFalseOrAbsentAndUidIsFresh)
{
    Builder b;
    uint64_t array = b.cls("NSArray");
    uint64_t shell = b.add(Builder::object(b.cls("OVShellScriptAction")));
    uint64_t move = b.add(Builder::object(b.cls("OVMoveToAction")));
    std::string data = b.binary(b.array(array, {shell, move}));

    auto first = OVActionArchive::unarchiveActions(data);
    auto second = OVActionArchive::unarchiveActions(data);
    ASSERT_TRUE(first && second);
    ASSERT_EQ(first->size(), 2u);
    auto* s = dynamic_cast<OVShellScriptAction*>((*first)[0].get());
    ASSERT_TRUE(s);
    EXPECT_FALSE(s->enabled());
    EXPECT_FALSE(s->isEditable());
    EXPECT_FALSE(s->isNew());
    EXPECT_FALSE(s->title());
    EXPECT_FALSE(s->scriptURL());
    EXPECT_FALSE(s->fileTypes());
    ASSERT_TRUE(s->icon());
    EXPECT_TRUE(s->icon()->isEmpty());
    EXPECT_EQ(s->uid().size(), 32u);
    EXPECT_EQ(s->uid().find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_NE(s->uid(), (*second)[0]->uid());
    EXPECT_NE(s->uid(), (*first)[1]->uid());
}

TEST(Archive, WrittenArchiveIsABinaryKeyedArchive)
{
    auto action = filled("OVShellScriptAction", 1);
    std::string data = OVActionArchive::archivedDataWithRootActions({action});
    ASSERT_TRUE(data.starts_with("bplist00"));
    auto top = ovplist::read(data);
    ASSERT_TRUE(top);
    auto& dict = std::get<OVValue::Dictionary>(top->value);
    EXPECT_EQ(dict.at("$archiver"), OVValue("NSKeyedArchiver"));
    EXPECT_EQ(dict.at("$version"), OVValue(100000));
    auto& objects = std::get<OVValue::Array>(dict.at("$objects").value);
    EXPECT_EQ(objects.at(0), OVValue("$null"));
    auto ref = [&](const OVValue& uid) -> const OVValue& {
        return objects.at(std::get<int64_t>(std::get<OVValue::Dictionary>(uid.value).at("CF$UID").value));
    };
    auto& rootRef = std::get<OVValue::Dictionary>(dict.at("$top").value).at("root");
    auto& root = std::get<OVValue::Dictionary>(ref(rootRef).value);
    EXPECT_EQ(std::get<OVValue::Dictionary>(ref(root.at("$class")).value).at("$classname"), OVValue("NSArray"));
    auto& element = std::get<OVValue::Array>(root.at("NS.objects").value).at(0);
    auto& object = std::get<OVValue::Dictionary>(ref(element).value);
    auto& cls = std::get<OVValue::Dictionary>(ref(object.at("$class")).value);
    EXPECT_EQ(cls.at("$classname"), OVValue("OVShellScriptAction"));
    EXPECT_EQ(cls.at("$classes"), OVValue(OVValue::Array{"OVShellScriptAction", "OVAction", "NSObject"}));
    EXPECT_EQ(object.at("enabled"), OVValue(false)); // booleans inline
    EXPECT_EQ(ref(object.at("title")), OVValue(*action->title()));
    EXPECT_EQ(ref(object.at("uid")), OVValue(action->uid()));
    auto& url = std::get<OVValue::Dictionary>(ref(object.at("scriptURL")).value);
    EXPECT_EQ(ref(url.at("NS.relative")), OVValue("file:///home/u/Dir%201/%C3%A4%2520%23%3F:x.sh"));
    EXPECT_EQ(object.count("actionDescription"), 1u);
    EXPECT_EQ(object.count("fileTypes"), 1u);
    EXPECT_EQ(object.count("isNew"), 0u);
}

TEST(Archive, ForeignArchiveLoadsInBinaryAndXML)
{
    Builder b;
    uint64_t mutableArray = b.cls("NSMutableArray");
    uint64_t url = b.cls("NSURL");
    uint64_t mutableString = b.cls("NSMutableString");
    // A folder URL relative to a base, and one holding a plain path.
    uint64_t baseURL = b.next();
    {
        plist_t u = Builder::object(url);
        plist_dict_set_item(u, "NS.base", plist_new_uid(0));
        plist_dict_set_item(u, "NS.relative", plist_new_uid(baseURL + 1));
        b.add(u);
        b.str("file:///Users/me/");
    }
    uint64_t relURL = b.next();
    {
        plist_t u = Builder::object(url);
        plist_dict_set_item(u, "NS.base", plist_new_uid(baseURL));
        plist_dict_set_item(u, "NS.relative", plist_new_uid(relURL + 1));
        b.add(u);
        b.str("Documents/My%20Files/");
    }
    uint64_t plainURL = b.next();
    {
        plist_t u = Builder::object(url);
        plist_dict_set_item(u, "NS.base", plist_new_uid(0));
        plist_dict_set_item(u, "NS.relative", plist_new_uid(plainURL + 1));
        b.add(u);
        b.str("/Applications/Mail.app");
    }
    plist_t title = Builder::object(mutableString);
    plist_dict_set_item(title, "NS.string", plist_new_string("Move it"));
    uint64_t titleUID = b.add(title);
    plist_t image = Builder::object(b.cls("NSImage"));
    plist_dict_set_item(image, "NSReps", plist_new_uid(0));
    uint64_t imageUID = b.add(image);

    plist_t move = Builder::object(b.cls("OVMoveToAction"));
    plist_dict_set_item(move, "enabled", plist_new_bool(1));
    plist_dict_set_item(move, "title", plist_new_uid(titleUID));
    plist_dict_set_item(move, "icon", plist_new_uid(imageUID));
    plist_dict_set_item(move, "uid", plist_new_uid(b.str("0123456789ABCDEF0123456789ABCDEF")));
    plist_dict_set_item(move, "destinationURL", plist_new_uid(relURL));
    uint64_t moveUID = b.add(move);
    plist_t mail = Builder::object(b.cls("OVSendViaEmailAction"));
    plist_dict_set_item(mail, "applicationURL", plist_new_uid(plainURL));
    plist_dict_set_item(mail, "title", plist_new_uint(7)); // wrong type: absent
    uint64_t mailUID = b.add(mail);
    uint64_t future = b.add(Builder::object(b.cls("OVFutureAction")));
    uint64_t root = b.array(mutableArray, {moveUID, mailUID});
    // An object whose class chain does not make it an action fails the whole archive, at the top
    // and inside a group: it is corruption, not a kind of a newer version.
    uint64_t withFuture = b.array(mutableArray, {moveUID, future, mailUID});
    plist_t group = Builder::object(b.cls("OVMoveActionGroup"));
    plist_dict_set_item(group, "actions", plist_new_uid(b.array(mutableArray, {future})));
    uint64_t groupRoot = b.array(mutableArray, {b.add(group)});
    for (uint64_t r : {withFuture, groupRoot}) {
        std::string error;
        EXPECT_FALSE(OVActionArchive::unarchiveActions(b.binary(r), &error));
        EXPECT_NE(error.find("OVFutureAction"), std::string::npos) << error;
    }

    for (const std::string& data : {b.binary(root), b.xml(root)}) {
        std::string error;
        auto list = OVActionArchive::unarchiveActions(data, &error);
        ASSERT_TRUE(list) << error;
        ASSERT_EQ(list->size(), 2u);
        auto* m = dynamic_cast<OVMoveToAction*>((*list)[0].get());
        ASSERT_TRUE(m);
        EXPECT_TRUE(m->enabled());
        EXPECT_EQ(m->title(), "Move it");
        EXPECT_EQ(m->uid(), "0123456789ABCDEF0123456789ABCDEF");
        EXPECT_EQ(m->destinationURL(), "/Users/me/Documents/My Files");
        ASSERT_TRUE(m->icon());
        EXPECT_TRUE(m->icon()->isEmpty());
        auto* e = dynamic_cast<OVOpenWithAppAction*>((*list)[1].get());
        ASSERT_TRUE(e);
        EXPECT_STREQ(e->className(), "OVSendViaEmailAction");
        EXPECT_EQ(e->applicationURL(), "/Applications/Mail.app");
        EXPECT_FALSE(e->title());
    }
}

namespace {

const std::vector<std::string> kFutureChain = {"OVFutureAction", "OVAction", "NSObject"};

// A move action, an action of a kind from a newer version holding objects of another unknown
// class and every kind of value, and a group with a child of that kind.
struct FutureArchive {
    Builder b;
    uint64_t root = 0;
    uint64_t future = 0;

    FutureArchive()
    {
        uint64_t mutableArray = b.cls("NSMutableArray");
        uint64_t futureClass = b.cls("OVFutureAction", kFutureChain);
        uint64_t thingClass = b.cls("OVFutureThing", {"OVFutureThing", "OVFutureBase", "NSObject"});
        uint64_t shared = b.str("shared text");
        plist_t thing = Builder::object(thingClass);
        plist_dict_set_item(thing, "first", plist_new_uid(shared));
        plist_dict_set_item(thing, "second", plist_new_uid(shared));
        plist_dict_set_item(thing, "count", plist_new_uint(uint64_t(-7)));
        plist_dict_set_item(thing, "ratio", plist_new_real(0.25));
        plist_dict_set_item(thing, "bytes", plist_new_data("\0\x01\xff", 3));
        plist_dict_set_item(thing, "none", plist_new_uid(0));
        plist_t inlineList = plist_new_array();
        plist_array_append_item(inlineList, plist_new_string("a"));
        plist_array_append_item(inlineList, plist_new_bool(1));
        plist_dict_set_item(thing, "inline", inlineList);
        uint64_t thingUID = b.add(thing);
        uint64_t things = b.array(mutableArray, {thingUID, shared, thingUID});

        plist_t f = Builder::object(futureClass);
        plist_dict_set_item(f, "enabled", plist_new_bool(1));
        plist_dict_set_item(f, "title", plist_new_uid(b.str("From the future")));
        plist_dict_set_item(f, "uid", plist_new_uid(b.str("00112233445566778899AABBCCDDEEFF")));
        plist_dict_set_item(f, "isDefault", plist_new_bool(1));
        plist_dict_set_item(f, "thing", plist_new_uid(thingUID));
        plist_dict_set_item(f, "things", plist_new_uid(things));
        plist_dict_set_item(f, "speed", plist_new_real(1.5));
        future = b.add(f);

        plist_t child = Builder::object(futureClass);
        plist_dict_set_item(child, "title", plist_new_uid(b.str("Child from the future")));
        plist_dict_set_item(child, "thing", plist_new_uid(thingUID));
        uint64_t childUID = b.add(child);
        plist_t group = Builder::object(b.cls("OVMoveActionGroup"));
        plist_dict_set_item(group, "title", plist_new_uid(b.str("Move group")));
        plist_dict_set_item(group, "actions", plist_new_uid(b.array(mutableArray, {childUID})));
        uint64_t groupUID = b.add(group);
        plist_t move = Builder::object(b.cls("OVMoveToAction", {"OVMoveToAction", "OVAction", "NSObject"}));
        plist_dict_set_item(move, "title", plist_new_uid(b.str("Move")));
        uint64_t moveUID = b.add(move);
        root = b.array(mutableArray, {moveUID, future, groupUID});
    }
};

const OVOpaqueValue& memberOf(const OVOpaqueValue& object, const std::string& key)
{
    for (const auto& [name, value] : object.members)
        if (name == key)
            return value;
    ADD_FAILURE() << "no member " << key;
    static const OVOpaqueValue none;
    return none;
}

std::vector<std::string> keysOf(const OVOpaqueValue& object)
{
    std::vector<std::string> keys;
    for (const auto& member : object.members)
        keys.push_back(member.key);
    return keys;
}

// The record of the future action as the archive gave it, checked against what was built.
void expectFutureRecord(const OVUnknownAction& a)
{
    EXPECT_STREQ(a.className(), "OVFutureAction");
    EXPECT_EQ(a.classHierarchy(), kFutureChain);
    const OVOpaqueValue& r = a.record();
    // Every member, in the archive's order.
    EXPECT_EQ(keysOf(r), (std::vector<std::string>{"enabled", "title", "uid", "isDefault", "thing", "things", "speed"}));
    EXPECT_TRUE(memberOf(r, "enabled").boolean);
    EXPECT_EQ(memberOf(r, "speed").real, 1.5);
    ASSERT_TRUE(memberOf(r, "title").target);
    EXPECT_EQ(memberOf(r, "title").target->bytes, "From the future");
    const OVOpaqueRef thing = memberOf(r, "thing").target;
    ASSERT_TRUE(thing && thing->objectClass);
    EXPECT_EQ(thing->objectClass->name, "OVFutureThing");
    EXPECT_EQ(thing->objectClass->chain, (std::vector<std::string>{"OVFutureThing", "OVFutureBase", "NSObject"}));
    EXPECT_EQ(memberOf(*thing, "first").target->bytes, "shared text");
    EXPECT_EQ(memberOf(*thing, "first").target, memberOf(*thing, "second").target); // still one object
    EXPECT_EQ(memberOf(*thing, "count").integer, -7);
    EXPECT_EQ(memberOf(*thing, "ratio").real, 0.25);
    EXPECT_EQ(memberOf(*thing, "bytes").bytes, std::string("\0\x01\xff", 3));
    EXPECT_EQ(memberOf(*thing, "none").type, OVOpaqueValue::Type::Reference);
    EXPECT_FALSE(memberOf(*thing, "none").target);
    ASSERT_EQ(memberOf(*thing, "inline").items.size(), 2u);
    EXPECT_EQ(memberOf(*thing, "inline").items[0].bytes, "a");
    EXPECT_TRUE(memberOf(*thing, "inline").items[1].boolean);
    const OVOpaqueRef things = memberOf(r, "things").target;
    ASSERT_TRUE(things && things->objectClass);
    EXPECT_EQ(things->objectClass->name, "NSMutableArray");
    const auto& refs = memberOf(*things, "NS.objects").items;
    ASSERT_EQ(refs.size(), 3u);
    EXPECT_EQ(refs[0].target, thing);
    EXPECT_EQ(refs[2].target, thing);
    EXPECT_EQ(refs[1].target->bytes, "shared text");
}

} // namespace

TEST(Archive, ActionsOfUnknownKindsAreKeptAsReadAndWrittenBackUnchanged)
{
    FutureArchive archive;
    for (const std::string& data : {archive.b.binary(archive.root), archive.b.xml(archive.root)}) {
        std::string error;
        auto list = OVActionArchive::unarchiveActions(data, &error);
        ASSERT_TRUE(list) << error;
        ASSERT_EQ(list->size(), 3u);
        EXPECT_FALSE((*list)[0]->isUnknown());
        EXPECT_EQ((*list)[0]->title(), "Move");
        auto* future = dynamic_cast<OVUnknownAction*>((*list)[1].get());
        ASSERT_TRUE(future);
        EXPECT_TRUE(future->isUnknown());
        // Known by its uid and title, but off and removable whatever the record says.
        EXPECT_EQ(future->uid(), "00112233445566778899AABBCCDDEEFF");
        EXPECT_EQ(future->title(), "From the future");
        EXPECT_FALSE(future->enabled());
        EXPECT_FALSE(future->isDefault());
        expectFutureRecord(*future);
        auto* group = dynamic_cast<OVActionGroup*>((*list)[2].get());
        ASSERT_TRUE(group);
        ASSERT_EQ(group->actions().size(), 1u);
        auto* child = dynamic_cast<OVUnknownAction*>(group->actions()[0].get());
        ASSERT_TRUE(child);
        // The object both refer to is read once.
        EXPECT_EQ(memberOf(child->record(), "thing").target, memberOf(future->record(), "thing").target);

        // Turning it on or renaming it changes nothing that is written.
        future->setEnabled(true);
        future->setTitle("Renamed");
        const std::string again = OVActionArchive::archivedDataWithRootActions(*list);
        auto reread = OVActionArchive::unarchiveActions(again, &error);
        ASSERT_TRUE(reread) << error;
        ASSERT_EQ(reread->size(), 3u);
        auto* future2 = dynamic_cast<OVUnknownAction*>((*reread)[1].get());
        ASSERT_TRUE(future2);
        expectFutureRecord(*future2);
        EXPECT_EQ(future2->title(), "From the future");
        EXPECT_TRUE(OVOpaqueValue::sameContent(future->record(), future2->record()));
        auto* child2 = dynamic_cast<OVUnknownAction*>(
            std::static_pointer_cast<OVActionGroup>((*reread)[2])->actions().at(0).get());
        ASSERT_TRUE(child2);
        EXPECT_TRUE(OVOpaqueValue::sameContent(child->record(), child2->record()));
        EXPECT_FALSE(OVOpaqueValue::sameContent(future->record(), child2->record()));
        // A second save writes the very same bytes.
        EXPECT_EQ(OVActionArchive::archivedDataWithRootActions(*reread), again);
        // A copy (what the runner would take) keeps the record.
        auto copy = std::dynamic_pointer_cast<OVUnknownAction>(future->copy());
        ASSERT_TRUE(copy);
        EXPECT_STREQ(copy->className(), "OVFutureAction");
        EXPECT_TRUE(OVOpaqueValue::sameContent(copy->record(), future->record()));
    }
}

TEST(Archive, TheSameUnknownClassWithTwoChainsKeepsBoth)
{
    Builder b;
    uint64_t array = b.cls("NSArray");
    uint64_t first = b.add(Builder::object(b.cls("OVFutureAction", kFutureChain)));
    uint64_t second = b.add(Builder::object(b.cls("OVFutureAction", {"OVFutureAction", "OVLaterBase", "OVAction"})));
    // An array class whose chain differs from the one this archiver writes for its own lists.
    plist_t odd = Builder::object(b.cls("NSArray", {"NSArray", "NSOddBase", "NSObject"}));
    plist_dict_set_item(odd, "NS.objects", plist_new_array());
    plist_dict_set_item(plist_array_get_item(b.objects, uint32_t(second)), "list", plist_new_uid(b.add(odd)));
    auto list = OVActionArchive::unarchiveActions(b.binary(b.array(array, {first, second})));
    ASSERT_TRUE(list);
    auto reread = OVActionArchive::unarchiveActions(OVActionArchive::archivedDataWithRootActions(*list));
    ASSERT_TRUE(reread);
    ASSERT_EQ(reread->size(), 2u);
    EXPECT_EQ((*reread)[0]->classHierarchy(), kFutureChain);
    EXPECT_EQ((*reread)[1]->classHierarchy(), (std::vector<std::string>{"OVFutureAction", "OVLaterBase", "OVAction"}));
    auto* second2 = dynamic_cast<OVUnknownAction*>((*reread)[1].get());
    ASSERT_TRUE(second2);
    EXPECT_EQ(memberOf(second2->record(), "list").target->objectClass->chain,
              (std::vector<std::string>{"NSArray", "NSOddBase", "NSObject"}));
}

TEST(Archive, UnknownKindsThatCannotBeWrittenBackAsReadCorruptTheArchive)
{
    auto withFuture = [](const std::function<void(Builder&, plist_t future, uint64_t futureUID)>& edit) {
        Builder b;
        uint64_t array = b.cls("NSArray");
        uint64_t future = b.add(Builder::object(b.cls("OVFutureAction", kFutureChain)));
        edit(b, plist_array_get_item(b.objects, uint32_t(future)), future);
        return b.binary(b.array(array, {future}));
    };
    ASSERT_TRUE(OVActionArchive::unarchiveActions(withFuture([](Builder&, plist_t, uint64_t) {})));
    expectCorrupt(withFuture([](Builder&, plist_t f, uint64_t self) { plist_dict_set_item(f, "me", plist_new_uid(self)); }),
                  "record referring to itself");
    expectCorrupt(withFuture([](Builder& b, plist_t f, uint64_t self) {
                      uint64_t list = b.array(b.cls("NSArray"), {self});
                      plist_dict_set_item(f, "list", plist_new_uid(list));
                  }),
                  "record holding itself through a list");
    expectCorrupt(withFuture([](Builder&, plist_t f, uint64_t) { plist_dict_set_item(f, "x", plist_new_uid(999)); }),
                  "dangling reference in a record");
    expectCorrupt(withFuture([](Builder& b, plist_t f, uint64_t) {
                      uint64_t self = b.next();
                      b.add(plist_new_uid(self));
                      plist_dict_set_item(f, "x", plist_new_uid(self));
                  }),
                  "an entry that is a bare reference to itself");
    expectCorrupt(withFuture([](Builder&, plist_t f, uint64_t) { plist_dict_set_item(f, "when", plist_new_date(5, 0)); }),
                  "date, which no keyed archive holds");
    expectCorrupt(withFuture([](Builder& b, plist_t f, uint64_t) {
                      plist_dict_set_item(f, "x", plist_new_uid(b.add(Builder::object(b.str("not a class")))));
                  }),
                  "nested object whose class is no class");

    // Keys only a hand-made binary list holds: one twice could not be written back as read, and
    // libplist asserts on a key that is no string or holds a NUL.
    using Member = ovplist::BinaryWriter::Member;
    using Ref = ovplist::BinaryWriter::Ref;
    auto withKeys = [](const std::function<std::vector<Member>(ovplist::BinaryWriter&)>& members) {
        ovplist::BinaryWriter w;
        auto classInfo = [&](const char* name, std::vector<Ref> chain) {
            const Member m[] = {{w.string("$classname"), w.string(name)}, {w.string("$classes"), w.array(chain)}};
            return w.dictionary(m);
        };
        const Ref futureRef[] = {w.uid(3)};
        const Member list[] = {{w.string("$class"), w.uid(2)}, {w.string("NS.objects"), w.array(futureRef)}};
        std::vector<Member> future{{w.string("$class"), w.uid(4)}};
        for (const auto& m : members(w))
            future.push_back(m);
        const Ref objects[] = {w.string("$null"), w.dictionary(list), classInfo("NSArray", {w.string("NSArray")}),
                               w.dictionary(future),
                               classInfo("OVFutureAction", {w.string("OVFutureAction"), w.string("OVAction")})};
        const Member top[] = {{w.string("root"), w.uid(1)}};
        const Member archive[] = {{w.string("$archiver"), w.string("NSKeyedArchiver")},
                                  {w.string("$version"), w.integer(100000)},
                                  {w.string("$top"), w.dictionary(top)},
                                  {w.string("$objects"), w.array(objects)}};
        return w.finish(w.dictionary(archive));
    };
    ASSERT_TRUE(OVActionArchive::unarchiveActions(withKeys([](ovplist::BinaryWriter& w) {
        return std::vector<Member>{{w.string("x"), w.integer(1)}, {w.string("ü"), w.integer(2)}};
    })));
    expectCorrupt(withKeys([](ovplist::BinaryWriter& w) {
                      return std::vector<Member>{{w.string("x"), w.integer(1)}, {w.string("x"), w.integer(2)}};
                  }),
                  "a key twice");
    expectCorrupt(withKeys([](ovplist::BinaryWriter& w) { return std::vector<Member>{{w.integer(7), w.integer(1)}}; }),
                  "a key that is a number");
    expectCorrupt(withKeys([](ovplist::BinaryWriter& w) {
                      return std::vector<Member>{{w.string(std::string("a\0b", 3)), w.integer(1)}};
                  }),
                  "a key with a NUL");
}

TEST(Archive, FileURLs)
{
    const std::string odd = "/tmp/a b/100%/ü#?;x:y/";
    std::string url = OVKeyedArchiver::fileURLStringWithPath(odd);
    EXPECT_EQ(url, "file:///tmp/a%20b/100%25/%C3%BC%23%3F;x:y/");
    EXPECT_EQ(OVKeyedUnarchiver::filePathFromURLString(url), "/tmp/a b/100%/ü#?;x:y");
    EXPECT_EQ(OVKeyedUnarchiver::filePathFromURLString("file://localhost/etc/x"), "/etc/x");
    EXPECT_EQ(OVKeyedUnarchiver::filePathFromURLString("FILE:/etc/x"), "/etc/x");
    EXPECT_EQ(OVKeyedUnarchiver::filePathFromURLString("../c/./d", "file:///a/b/e"), "/a/c/d");
    EXPECT_EQ(OVKeyedUnarchiver::filePathFromURLString("/", ""), "/");
    EXPECT_FALSE(OVKeyedUnarchiver::filePathFromURLString("file://server/share/x"));
    EXPECT_FALSE(OVKeyedUnarchiver::filePathFromURLString("https://example.org/x"));
    EXPECT_FALSE(OVKeyedUnarchiver::filePathFromURLString("file:///a%00b"));
    EXPECT_FALSE(OVKeyedUnarchiver::filePathFromURLString("file:///a%zz"));
    EXPECT_FALSE(OVKeyedUnarchiver::filePathFromURLString("file:///a%2"));
    EXPECT_FALSE(OVKeyedUnarchiver::filePathFromURLString(""));
}

TEST(Archive, MalformedUTF8IsRepairedSoTheArchiveReadsBack)
{
    auto a = filled("OVAction", 1);
    const char raw[] = "bad \xff lone \xed\xa0\x80 nul\0tail";
    a->setTitle(std::string(raw, sizeof raw - 1));
    auto list = OVActionArchive::unarchiveActions(OVActionArchive::archivedDataWithRootActions({a}));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 1u);
    EXPECT_EQ((*list)[0]->title(), "bad \xEF\xBF\xBD lone \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD nul");
}

TEST(Archive, SharedChildrenStayShared)
{
    auto child = filled("OVMoveToAction", 2);
    auto g1 = filled("OVMoveActionGroup", 3);
    auto g2 = filled("OVCopyActionGroup", 4);
    std::static_pointer_cast<OVActionGroup>(g1)->addAction(child);
    std::static_pointer_cast<OVActionGroup>(g2)->addAction(child);
    // A group inside itself is left out rather than written as a cycle nobody could read.
    std::static_pointer_cast<OVActionGroup>(g2)->addAction(g2);
    auto list = OVActionArchive::unarchiveActions(OVActionArchive::archivedDataWithRootActions({g1, g2}));
    ASSERT_TRUE(list);
    auto c1 = std::static_pointer_cast<OVActionGroup>((*list)[0])->actions();
    auto c2 = std::static_pointer_cast<OVActionGroup>((*list)[1])->actions();
    ASSERT_EQ(c1.size(), 1u);
    ASSERT_EQ(c2.size(), 1u);
    EXPECT_EQ(c1[0], c2[0]);
    std::static_pointer_cast<OVActionGroup>(g2)->removeAction(g2);
}

TEST(Archive, NestingDeeperThanTheLimitIsLeftOutOnWriteAndRejectedOnRead)
{
    // Each group's list holds the next group.
    auto make = [](int levels) {
        auto top = filled("OVActionGroup", 0);
        auto g = top;
        for (int i = 1; i < levels; ++i) {
            auto next = filled("OVActionGroup", i);
            std::static_pointer_cast<OVActionGroup>(g)->addAction(next);
            g = next;
        }
        return top;
    };
    auto written = OVActionArchive::unarchiveActions(OVActionArchive::archivedDataWithRootActions({make(100)}));
    ASSERT_TRUE(written);
    int depth = 0;
    for (auto a = (*written)[0]; a; ++depth) {
        auto children = std::static_pointer_cast<OVActionGroup>(a)->actions();
        a = children.empty() ? nullptr : children[0];
    }
    EXPECT_GT(depth, 20);
    EXPECT_LT(depth, 40);

    Builder b;
    uint64_t array = b.cls("NSArray"), group = b.cls("OVActionGroup");
    const int links = 1000;
    for (int i = 0; i < links; ++i) {
        uint64_t list = b.next();
        b.array(array, {list + 1});
        plist_t g = Builder::object(group);
        if (i + 1 < links)
            plist_dict_set_item(g, "actions", plist_new_uid(list + 2));
        b.add(g);
    }
    std::string error;
    EXPECT_FALSE(OVActionArchive::unarchiveActions(b.binary(3), &error));
    EXPECT_NE(error.find("deep"), std::string::npos) << error;
}

TEST(Archive, StructuralCorruptionIsRejected)
{
    // A list with one shell-script action at root + 2, changed by edit.
    auto valid = [](const std::function<void(Builder&, uint64_t& root)>& edit) {
        Builder b;
        uint64_t array = b.cls("NSArray");
        uint64_t root = b.next();
        b.array(array, {root + 2});
        plist_t a = Builder::object(b.cls("OVShellScriptAction"));
        b.add(a);
        edit(b, root);
        return b.binary(root);
    };
    auto actionAt = [](Builder& b, uint64_t root) { return plist_array_get_item(b.objects, uint32_t(root + 2)); };
    ASSERT_TRUE(OVActionArchive::unarchiveActions(valid([](Builder&, uint64_t&) {})));

    expectCorrupt(valid([](Builder&, uint64_t& root) { root = 99; }), "dangling root");
    expectCorrupt(valid([&](Builder& b, uint64_t& root) {
                      plist_dict_set_item(actionAt(b, root), "title", plist_new_uid(500));
                  }),
                  "dangling member");
    expectCorrupt(valid([&](Builder& b, uint64_t& root) {
                      plist_dict_set_item(actionAt(b, root), "$class", plist_new_uid(b.str("x")));
                  }),
                  "class not a dictionary");
    expectCorrupt(valid([&](Builder& b, uint64_t& root) {
                      plist_dict_set_item(actionAt(b, root), "$class", plist_new_string("OVAction"));
                  }),
                  "class not a reference");
    expectCorrupt(valid([&](Builder& b, uint64_t& root) {
                      plist_dict_set_item(plist_array_get_item(b.objects, uint32_t(root)), "NS.objects",
                                          plist_new_string("x"));
                  }),
                  "NS.objects not an array");
    expectCorrupt(valid([&](Builder& b, uint64_t& root) {
                      plist_t list = plist_dict_get_item(plist_array_get_item(b.objects, uint32_t(root)), "NS.objects");
                      plist_array_append_item(list, plist_new_uid(root));
                  }),
                  "list containing itself");
    expectCorrupt(valid([&](Builder& b, uint64_t& root) {
                      // A group whose child list holds the group.
                      uint64_t group = b.add(Builder::object(b.cls("OVActionGroup")));
                      uint64_t list = b.array(b.cls("NSMutableArray"), {group});
                      plist_dict_set_item(plist_array_get_item(b.objects, uint32_t(group)), "actions", plist_new_uid(list));
                      root = list;
                  }),
                  "group containing itself");
    expectCorrupt(valid([&](Builder& b, uint64_t& root) {
                      plist_t url = Builder::object(b.cls("NSURL"));
                      plist_dict_set_item(url, "NS.relative", plist_new_uid(b.str("x")));
                      uint64_t u = b.next();
                      plist_dict_set_item(url, "NS.base", plist_new_uid(u));
                      b.add(url);
                      plist_dict_set_item(actionAt(b, root), "scriptURL", plist_new_uid(u));
                  }),
                  "URL based on itself");

    auto withTop = [](const std::function<void(plist_t)>& edit) {
        Builder b;
        plist_t t = b.top(b.array(b.cls("NSArray"), {}));
        edit(t);
        std::string s = ovplist::toBinary(t);
        plist_free(t);
        return s;
    };
    expectCorrupt(withTop([](plist_t t) { plist_dict_set_item(t, "$objects", plist_new_dict()); }), "$objects not an array");
    expectCorrupt(withTop([](plist_t t) { plist_dict_remove_item(t, "$top"); }), "no $top");
    expectCorrupt(withTop([](plist_t t) { plist_dict_set_item(t, "$top", plist_new_uint(1)); }), "bad $top");
    expectCorrupt("", "empty");
    expectCorrupt("bplist00", "header only");
    expectCorrupt("<plist><dict></dict></plist>", "not an archive");

    // Wrong types of members are absent, not corrupt.
    auto ok = OVActionArchive::unarchiveActions(valid([&](Builder& b, uint64_t& root) {
        plist_t a = actionAt(b, root);
        plist_dict_set_item(a, "title", plist_new_string("inline"));
        plist_dict_set_item(a, "enabled", plist_new_string("yes"));
        plist_dict_set_item(a, "fileTypes", plist_new_uid(b.str("not a list")));
        plist_dict_set_item(a, "scriptURL", plist_new_uid(0));
    }));
    ASSERT_TRUE(ok);
    ASSERT_EQ(ok->size(), 1u);
    EXPECT_FALSE((*ok)[0]->title());
    EXPECT_FALSE((*ok)[0]->enabled());
    EXPECT_FALSE((*ok)[0]->fileTypes());

    // A root that is no list is an empty list.
    Builder s;
    auto none = OVActionArchive::unarchiveActions(s.binary(s.str("just a string")));
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
}

TEST(Archive, DeepAndExpandingPropertyListsAreRejectedQuickly)
{
    const int depth = 100000;
    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < depth; ++i)
        xml += "<array>";
    for (int i = 0; i < depth; ++i)
        xml += "</array>";
    xml += "</plist>";
    expectCorrupt(xml, "deep XML");
    EXPECT_FALSE(OVKeyedUnarchiver::unarchiveValue(xml));

    // Binary: object i is a one-element array holding object i + 1; 4-byte offsets and refs.
    auto be = [](std::string& s, uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i)
            s += char((v >> (8 * i)) & 0xFF);
    };
    auto bplist = [&](int count, int refsPerArray) {
        std::string s = "bplist00", offsets;
        for (int i = 0; i < count; ++i) {
            be(offsets, s.size(), 4);
            if (i + 1 == count) {
                s += char(0x09); // true
                continue;
            }
            s += char(0xA0 | refsPerArray);
            for (int r = 0; r < refsPerArray; ++r)
                be(s, i + 1, 4);
        }
        uint64_t table = s.size();
        s += offsets;
        s += std::string(6, '\0');
        s += char(4);
        s += char(4);
        be(s, count, 8);
        be(s, 0, 8);
        be(s, table, 8);
        return s;
    };
    auto start = std::chrono::steady_clock::now();
    expectCorrupt(bplist(depth, 1), "deep binary");
    EXPECT_FALSE(OVKeyedUnarchiver::unarchiveValue(bplist(depth, 1)));
    // 2^60 nodes once every shared array is expanded.
    expectCorrupt(bplist(60, 2), "expanding binary");
    // The same shapes, small, are well-formed.
    for (plist_t p : {ovplist::parse(bplist(10, 1)), ovplist::parse(bplist(3, 2))}) {
        EXPECT_TRUE(p);
        plist_free(p);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(Archive, SharedValueArraysCannotExpandWithoutBound)
{
    Builder b;
    uint64_t array = b.cls("NSArray");
    uint64_t leaf = b.str(std::string(1000, 'x'));
    uint64_t last = leaf;
    for (int i = 0; i < 40; ++i)
        last = b.array(array, {last, last});
    std::string error;
    EXPECT_FALSE(OVKeyedUnarchiver::unarchiveValue(b.binary(last), &error));
    EXPECT_FALSE(error.empty());

    uint64_t self = b.next();
    b.array(array, {leaf, self});
    EXPECT_FALSE(OVKeyedUnarchiver::unarchiveValue(b.binary(self), &error));
    EXPECT_NE(error.find("cycle"), std::string::npos) << error;
}

TEST(Archive, SharedReferencesAtTheRootCountAgainstTheBudget)
{
    // About 9 KB whose root holds a thousand references to one array of a thousand numbers: a
    // million nodes once libplist copies each reference.
    auto sharedTwice = [](std::size_t outer, std::size_t inner) {
        ovplist::BinaryWriter w;
        std::vector<ovplist::BinaryWriter::Ref> numbers;
        for (std::size_t i = 0; i < inner; ++i)
            numbers.push_back(w.integer(int64_t(i)));
        const std::vector<ovplist::BinaryWriter::Ref> arrays(outer, w.array(numbers));
        return w.finish(w.array(arrays));
    };
    const std::string bomb = sharedTwice(1000, 1000);
    ASSERT_LT(bomb.size(), 16u * 1024);
    std::string error;
    EXPECT_FALSE(ovplist::validateBinary(bomb, &error));
    EXPECT_EQ(error, "too many objects");
    EXPECT_FALSE(ovplist::read(bomb));
    EXPECT_FALSE(OVKeyedUnarchiver::unarchiveValue(bomb));

    // Sharing within the budget is fine.
    const std::string small = sharedTwice(3, 4);
    EXPECT_TRUE(ovplist::validateBinary(small, &error)) << error;
    auto value = ovplist::read(small);
    ASSERT_TRUE(value);
    const auto* root = std::get_if<OVValue::Array>(&value->value);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->size(), 3u);
}

TEST(Archive, TruncatedAndMutatedArchivesNeverCrash)
{
    auto small = filled("OVNewFileAction", 1);
    std::string data = OVActionArchive::archivedDataWithRootActions({small});
    for (std::size_t n = 0; n < data.size(); ++n) {
        std::string error;
        EXPECT_FALSE(OVActionArchive::unarchiveActions(data.substr(0, n), &error)) << n;
        EXPECT_FALSE(error.empty()) << n;
        EXPECT_FALSE(OVKeyedUnarchiver::unarchiveValue(data.substr(0, n))) << n;
    }
    std::mt19937 rng(7);
    for (int i = 0; i < 3000; ++i) {
        std::string m = data;
        for (int k = 0, flips = 1 + int(rng() % 4); k < flips; ++k)
            m[rng() % m.size()] = char(rng());
        OVActionArchive::unarchiveActions(m);
        OVKeyedUnarchiver::unarchiveValue(m);
    }
}

TEST(Archive, ValuesRoundTripAndForeignDictionariesLoad)
{
    OVValue::Dictionary d{{"name", "x"},
                          {"count", int64_t(-5)},
                          {"big", int64_t(1) << 40},
                          {"ratio", 0.25},
                          {"flag", true},
                          {"bytes", OVData{std::string("\0\1\2", 3)}},
                          {"list", OVValue::Array{"a", int64_t(1), OVValue::Dictionary{{"k", "v"}}}}};
    std::string error;
    auto back = OVKeyedUnarchiver::unarchiveValue(OVKeyedArchiver::archivedDataWithRootValue(OVValue(d)), &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(*back, OVValue(d));
    auto null = OVKeyedUnarchiver::unarchiveValue(OVKeyedArchiver::archivedDataWithRootValue(OVValue()));
    ASSERT_TRUE(null);
    EXPECT_TRUE(null->isNull());

    Builder b;
    plist_t s = Builder::object(b.cls("NSMutableString"));
    plist_dict_set_item(s, "NS.string", plist_new_string("value"));
    uint64_t str = b.add(s);
    plist_t dict = Builder::object(b.cls("NSMutableDictionary"));
    plist_t keys = plist_new_array(), values = plist_new_array();
    plist_array_append_item(keys, plist_new_uid(b.str("key")));
    plist_array_append_item(values, plist_new_uid(str));
    plist_dict_set_item(dict, "NS.keys", keys);
    plist_dict_set_item(dict, "NS.objects", values);
    uint64_t root = b.add(dict);
    auto foreign = OVKeyedUnarchiver::unarchiveValue(b.xml(root), &error);
    ASSERT_TRUE(foreign) << error;
    EXPECT_EQ(*foreign, OVValue(OVValue::Dictionary{{"key", "value"}}));
}

// Writes the seed corpus of the archive fuzz target:
// test_model --gtest_also_run_disabled_tests --gtest_filter=Archive.DISABLED_WriteSeedCorpus
TEST(Archive, DISABLED_WriteSeedCorpus)
{
    const std::string dir = std::string(ORVANE_SOURCE_DIR) + "/fuzz/corpus/archive/";
    auto write = [&](const char* name, const std::string& data) { std::ofstream(dir + name, std::ios::binary) << data; };
    auto group = filled("OVNewFileActionGroup", 2);
    std::static_pointer_cast<OVActionGroup>(group)->addAction(filled("OVNewFileAction", 3));
    write("actions.bplist", OVActionArchive::archivedDataWithRootActions(
                                {group, filled("OVShellScriptAction", 1), filled("OVMoveToAction", 4)}));
    write("message.bplist", OVKeyedArchiver::archivedDataWithRootValue(
                                OVValue(OVValue::Dictionary{{"a", OVValue::Array{"x", int64_t(2), true}}})));
    plist_t xml = nullptr;
    std::string bin = OVActionArchive::archivedDataWithRootActions({filled("OVCopyToAction", 5)});
    plist_from_bin(bin.data(), uint32_t(bin.size()), &xml);
    write("actions.xml", ovplist::toXML(xml));
    plist_free(xml);
    FutureArchive future;
    write("unknown.bplist", future.b.binary(future.root));
}
