// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/OVKeyedArchiver.h"

#include "archive/BinaryWriter.h"
#include "archive/OVKeyedUnarchiver.h"
#include "platform/Uri.h"

#include <algorithm>
#include <map>
#include <span>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

const std::vector<std::string> kArrayClasses = {"NSArray", "NSObject"};
const std::vector<std::string> kDictionaryClasses = {"NSDictionary", "NSObject"};
const std::vector<std::string> kURLClasses = {"NSURL", "NSObject"};

// Strings have always been stored as C strings, so a NUL ends them.
std::string_view untilNUL(std::string_view s) { return s.substr(0, s.find('\0')); }

} // namespace

// The archive's objects go straight into a binary writer: "$objects" holds the writer's
// reference of each object, by UID.
struct OVKeyedArchiver::Impl {
    using Ref = ovplist::BinaryWriter::Ref;
    using Member = ovplist::BinaryWriter::Member;

    explicit Impl(OVKeyedArchiver& owner) : owner(owner)
    {
        objects.push_back(writer.string("$null"));
        classKey = writer.string("$class");
        objectsKey = writer.string("NS.objects");
    }

    OVKeyedArchiver& owner;
    ovplist::BinaryWriter writer;
    Ref classKey;
    Ref objectsKey;
    std::vector<Ref> objects;
    std::vector<uint64_t> stringUIDs; // by the writer's reference of the string; 0 when not archived yet
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, uint64_t, Hash, std::equal_to<>> classes;
    std::unordered_map<uint64_t, std::vector<std::string>> classChains; // of the entries of classes, by UID
    std::map<OVOpaqueClass, uint64_t> classesAsRead; // those whose chain differs from the class's own
    std::unordered_map<const OVOpaqueValue*, uint64_t> objectsAsRead;
    std::unordered_map<const OVArchivable*, uint64_t> archivedObjects;
    std::unordered_set<const OVArchivable*> inProgress;
    // Members of the actions being written, innermost last; kept between actions for their capacity.
    std::vector<std::vector<Member>> frames;
    std::size_t openFrames = 0;
    int depth = 0;

    uint64_t add(Ref ref)
    {
        objects.push_back(ref);
        return objects.size() - 1;
    }

    uint64_t stringUID(std::string_view s)
    {
        const Ref ref = writer.string(untilNUL(s));
        if (ref >= stringUIDs.size())
            stringUIDs.resize(std::max<std::size_t>(ref + 1, stringUIDs.size() * 2), 0);
        if (!stringUIDs[ref])
            stringUIDs[ref] = add(ref);
        return stringUIDs[ref];
    }

    Ref key(const char* name) { return writer.string(untilNUL(name)); }

    // The hierarchy is asked for only when the class is new.
    template <typename Hierarchy>
    uint64_t classUID(std::string_view name, Hierarchy hierarchy)
    {
        auto it = classes.find(name);
        if (it != classes.end())
            return it->second;
        const std::vector<std::string> names = hierarchy();
        std::vector<Ref> chain;
        chain.reserve(names.size());
        for (const auto& c : names)
            chain.push_back(writer.string(untilNUL(c)));
        const Member info[] = {{key("$classname"), writer.string(untilNUL(name))},
                               {key("$classes"), writer.array(chain)}};
        uint64_t uid = add(writer.dictionary(info));
        classes.emplace(std::string(name), uid);
        classChains.emplace(uid, names);
        return uid;
    }

    // A class with the chain an archive gave; shared with the class's own entry when they agree.
    uint64_t classUIDAsRead(const OVOpaqueClass& cls)
    {
        if (auto it = classes.find(cls.name); it != classes.end() && classChains[it->second] == cls.chain)
            return it->second;
        auto it = classesAsRead.find(cls);
        if (it != classesAsRead.end())
            return it->second;
        std::vector<Ref> chain;
        for (const auto& c : cls.chain)
            chain.push_back(writer.string(untilNUL(c)));
        const Member info[] = {{key("$classname"), writer.string(untilNUL(cls.name))},
                               {key("$classes"), writer.array(chain)}};
        uint64_t uid = add(writer.dictionary(info));
        classesAsRead.emplace(cls, uid);
        return uid;
    }

    Ref refAsRead(const OVOpaqueValue& value)
    {
        using Type = OVOpaqueValue::Type;
        switch (value.type) {
        case Type::Boolean:
            return writer.boolean(value.boolean);
        case Type::Integer:
            return writer.integer(value.integer);
        case Type::Real:
            return writer.real(value.real);
        case Type::String:
            return writer.string(untilNUL(value.bytes));
        case Type::Data:
            return writer.data(value.bytes);
        case Type::Array: {
            std::vector<Ref> items;
            items.reserve(value.items.size());
            for (const auto& item : value.items)
                items.push_back(refAsRead(item));
            return writer.array(items);
        }
        case Type::Dictionary: {
            std::vector<Member> members;
            members.reserve(value.members.size() + 1);
            if (value.objectClass)
                members.emplace_back(classKey, writer.uid(classUIDAsRead(*value.objectClass)));
            for (const auto& [name, member] : value.members)
                members.emplace_back(writer.string(untilNUL(name)), refAsRead(member));
            return writer.dictionary(members);
        }
        case Type::Reference:
            return writer.uid(value.target ? objectUIDAsRead(*value.target) : 0);
        }
        return writer.uid(0);
    }

    // An object met again is stored once, as it was in the archive it came from.
    uint64_t objectUIDAsRead(const OVOpaqueValue& object)
    {
        if (auto it = objectsAsRead.find(&object); it != objectsAsRead.end())
            return it->second;
        const uint64_t uid =
            object.type == OVOpaqueValue::Type::String ? stringUID(object.bytes) : add(refAsRead(object));
        objectsAsRead.emplace(&object, uid);
        return uid;
    }

    template <typename Hierarchy>
    Member classMember(std::string_view className, Hierarchy hierarchy)
    {
        return {classKey, writer.uid(classUID(className, hierarchy))};
    }

    Member classMember(std::string_view className, const std::vector<std::string>& hierarchy)
    {
        return classMember(className, [&] { return hierarchy; });
    }

    uint64_t arrayOf(std::span<const uint64_t> uids)
    {
        std::vector<Ref> items;
        items.reserve(uids.size());
        for (uint64_t u : uids)
            items.push_back(writer.uid(u));
        const Member members[] = {classMember("NSArray", kArrayClasses), {objectsKey, writer.array(items)}};
        return add(writer.dictionary(members));
    }

    // Whether an object at the next level would leave room for its own members below it.
    bool roomForObject() const { return depth + 2 <= OVKeyedUnarchiver::kMaxObjectDepth; }

    // 0 when the object cannot be archived: it contains itself, or it is nested too deep.
    uint64_t objectUID(const OVArchivable& object)
    {
        auto it = archivedObjects.find(&object);
        if (it != archivedObjects.end())
            return it->second;
        if (inProgress.count(&object) || !roomForObject())
            return 0;
        // The slot is taken before the members are written, as the children come after it.
        uint64_t uid = add(ovplist::BinaryWriter::kNone);
        if (openFrames == frames.size())
            frames.emplace_back();
        // Not held by reference: nested objects may grow frames.
        frames[openFrames].clear();
        if (object.classChainAsRead())
            frames[openFrames].emplace_back(classKey,
                                            writer.uid(classUIDAsRead({object.className(), object.classHierarchy()})));
        else
            frames[openFrames].push_back(classMember(object.className(), [&] { return object.classHierarchy(); }));
        ++openFrames;
        inProgress.insert(&object);
        ++depth;
        object.encodeWithCoder(owner);
        --depth;
        inProgress.erase(&object);
        --openFrames;
        objects[uid] = writer.dictionary(frames[openFrames]);
        archivedObjects.emplace(&object, uid);
        return uid;
    }

    uint64_t objectListUID(std::span<const OVArchivable* const> list)
    {
        std::vector<uint64_t> uids;
        uids.reserve(list.size());
        ++depth;
        for (const OVArchivable* object : list) {
            if (!object)
                continue;
            if (uint64_t u = objectUID(*object))
                uids.push_back(u);
        }
        --depth;
        return arrayOf(uids);
    }

    uint64_t valueUID(const OVValue& value)
    {
        struct Visitor {
            Impl& self;
            uint64_t operator()(std::monostate) const { return 0; }
            uint64_t operator()(bool b) const { return self.add(self.writer.boolean(b)); }
            uint64_t operator()(int64_t i) const { return self.add(self.writer.integer(i)); }
            uint64_t operator()(double d) const { return self.add(self.writer.real(d)); }
            uint64_t operator()(const std::string& s) const { return self.stringUID(s); }
            uint64_t operator()(const OVData& d) const { return self.add(self.writer.data(d.bytes)); }
            uint64_t operator()(const OVValue::Array& a) const
            {
                std::vector<uint64_t> uids;
                uids.reserve(a.size());
                for (const auto& v : a)
                    uids.push_back(self.valueUID(v));
                return self.arrayOf(uids);
            }
            uint64_t operator()(const OVValue::Dictionary& d) const
            {
                std::vector<Ref> keys, values;
                keys.reserve(d.size());
                values.reserve(d.size());
                for (const auto& [k, v] : d) {
                    keys.push_back(self.writer.uid(self.stringUID(k)));
                    values.push_back(self.writer.uid(self.valueUID(v)));
                }
                const Member members[] = {self.classMember("NSDictionary", kDictionaryClasses),
                                          {self.key("NS.keys"), self.writer.array(keys)},
                                          {self.objectsKey, self.writer.array(values)}};
                return self.add(self.writer.dictionary(members));
            }
        };
        return std::visit(Visitor{*this}, value.value);
    }

    std::string finish(uint64_t root)
    {
        const Member top[] = {{key("root"), writer.uid(root)}};
        const Member archive[] = {{key("$archiver"), writer.string("NSKeyedArchiver")},
                                  {key("$version"), writer.integer(100000)},
                                  {key("$top"), writer.dictionary(top)},
                                  {key("$objects"), writer.array(objects)}};
        return writer.finish(writer.dictionary(archive));
    }

    // A key written twice keeps its first place and takes the later value.
    void set(const char* name, Ref value)
    {
        if (!openFrames)
            return;
        auto& members = frames[openFrames - 1];
        const Ref k = key(name);
        for (auto& m : members) {
            if (m.first == k) {
                m.second = value;
                return;
            }
        }
        members.emplace_back(k, value);
    }

    void setUID(const char* name, uint64_t uid) { set(name, writer.uid(uid)); }
};

OVKeyedArchiver::OVKeyedArchiver() : impl_(std::make_unique<Impl>(*this)) {}

OVKeyedArchiver::~OVKeyedArchiver() = default;

void OVKeyedArchiver::encodeBool(const char* key, bool value) { impl_->set(key, impl_->writer.boolean(value)); }

void OVKeyedArchiver::encodeInteger(const char* key, int64_t value) { impl_->set(key, impl_->writer.integer(value)); }

void OVKeyedArchiver::encodeString(const char* key, const std::optional<std::string>& value)
{
    if (value)
        impl_->setUID(key, impl_->stringUID(*value));
}

void OVKeyedArchiver::encodeStringList(const char* key, const std::optional<std::vector<std::string>>& value)
{
    if (!value)
        return;
    std::vector<uint64_t> uids;
    uids.reserve(value->size());
    for (const auto& s : *value)
        uids.push_back(impl_->stringUID(s));
    impl_->setUID(key, impl_->arrayOf(uids));
}

void OVKeyedArchiver::encodeURL(const char* key, const std::optional<std::string>& filePath)
{
    if (!filePath || filePath->empty())
        return;
    // The class comes first, as it always has in the numbering of the objects.
    const Impl::Member cls = impl_->classMember("NSURL", kURLClasses);
    const uint64_t relative = impl_->stringUID(fileURLStringWithPath(*filePath));
    auto& w = impl_->writer;
    const Impl::Member members[] = {cls,
                                    {impl_->key("NS.base"), w.uid(0)},
                                    {impl_->key("NS.relative"), w.uid(relative)}};
    impl_->setUID(key, impl_->add(w.dictionary(members)));
}

void OVKeyedArchiver::encodeData(const char* key, std::string_view bytes)
{
    impl_->setUID(key, impl_->add(impl_->writer.data(bytes)));
}

void OVKeyedArchiver::encodeAsRead(const std::string& key, const OVOpaqueValue& value)
{
    impl_->set(key.c_str(), impl_->refAsRead(value));
}

void OVKeyedArchiver::encodeObjects(const char* key, std::span<const OVArchivable* const> objects)
{
    impl_->setUID(key, impl_->objectListUID(objects));
}

std::string OVKeyedArchiver::archivedDataWithRootObjects(std::span<const OVArchivable* const> objects)
{
    OVKeyedArchiver archiver;
    uint64_t root = archiver.impl_->objectListUID(objects);
    return archiver.impl_->finish(root);
}

std::string OVKeyedArchiver::archivedDataWithRootValue(const OVValue& value)
{
    OVKeyedArchiver archiver;
    uint64_t root = archiver.impl_->valueUID(value);
    return archiver.impl_->finish(root);
}

std::string OVKeyedArchiver::fileURLStringWithPath(const std::string& path)
{
    // In a relative reference a colon could read as the end of a scheme.
    if (path.starts_with('/'))
        return ov::uri::fileURI(path, "!$&'()*+,;=@/:");
    return ov::uri::escape(path, "!$&'()*+,;=@/");
}
