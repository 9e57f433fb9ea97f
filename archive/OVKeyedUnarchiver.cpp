// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/OVKeyedUnarchiver.h"

#include "archive/OVPropertyList.h"
#include "archive/UTF8.h"
#include "platform/Uri.h"

#include <plist/plist.h>

#include <map>
#include <set>
#include <stdexcept>
#include <vector>

namespace {

// Raised for structural corruption; caught in the entry points and turned into an error text.
struct Corrupt : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Shared objects are copied where a value is expected, so the output can outgrow the archive;
// an honest archive stays well within twice its own size.
constexpr uint64_t kBaseElements = 1u << 18;
constexpr uint64_t kBaseOutputBytes = 16u << 20;

plist_type typeOf(plist_t node) { return node ? plist_get_node_type(node) : PLIST_NONE; }

plist_t member(plist_t dict, const char* key)
{
    return typeOf(dict) == PLIST_DICT ? plist_dict_get_item(dict, key) : nullptr;
}

// Binary archives hold real UIDs; XML ones spell them {"CF$UID": n}.
std::optional<uint64_t> uidOf(plist_t node)
{
    uint64_t value = 0;
    if (typeOf(node) == PLIST_UID) {
        plist_get_uid_val(node, &value);
        return value;
    }
    if (typeOf(node) == PLIST_DICT && plist_dict_get_size(node) == 1) {
        plist_t inner = plist_dict_get_item(node, "CF$UID");
        if (typeOf(inner) == PLIST_UINT) {
            plist_get_uint_val(inner, &value);
            return value;
        }
    }
    return std::nullopt;
}

// libplist turns broken UTF-16 into broken UTF-8; what the program holds is always well-formed.
std::string stringOf(plist_t node)
{
    uint64_t length = 0;
    const char* s = plist_get_string_ptr(node, &length);
    return s ? ovutf8::repaired(std::string_view(s, std::size_t(length))) : std::string();
}

// The archiver writes names as C strings: what follows a NUL would not come back.
std::string untilNUL(std::string s)
{
    s.resize(std::min(s.size(), s.find('\0')));
    return s;
}

bool isArrayClass(const std::string& name) { return name == "NSArray" || name == "NSMutableArray"; }
bool isStringClass(const std::string& name) { return name == "NSString" || name == "NSMutableString"; }

// Visits the elements of a property-list array.
template <typename F>
void forEachItem(plist_t array, F&& f)
{
    plist_array_iter it = nullptr;
    plist_array_new_iter(array, &it);
    struct Free {
        void* p;
        ~Free() { free(p); }
    } guard{it};
    for (;;) {
        plist_t item = nullptr;
        plist_array_next_item(array, it, &item);
        if (!item)
            break;
        f(item);
    }
}

} // namespace

std::optional<std::string> OVKeyedUnarchiver::filePathFromURLString(std::string_view url, std::string_view base)
{
    return ov::uri::filePath(url, base);
}

struct OVKeyedUnarchiver::Impl {
    explicit Impl(const OVArchiveClassFactory* classes = nullptr) : classes(classes) {}

    const OVArchiveClassFactory* classes;
    plist_t root = nullptr;
    std::vector<plist_t> objects;
    std::vector<uint8_t> inProgress;
    std::map<uint64_t, OVArchivablePtr> decodedObjects;
    std::map<uint64_t, OVOpaqueRef> opaqueObjects;
    std::map<uint64_t, std::shared_ptr<const OVOpaqueClass>> opaqueClasses;
    int depth = 0;
    uint64_t elements = 0;
    uint64_t outputBytes = 0;
    uint64_t maxElements = kBaseElements;
    uint64_t maxOutputBytes = kBaseOutputBytes;

    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    ~Impl()
    {
        if (root)
            plist_free(root);
    }

    void load(std::string_view data)
    {
        maxElements = kBaseElements + 2 * data.size();
        maxOutputBytes = kBaseOutputBytes + 2 * data.size();
        std::string error;
        root = ovplist::parse(data, &error);
        if (!root)
            throw Corrupt(error.empty() ? "malformed property list" : error);
        plist_t table = member(root, "$objects");
        if (typeOf(table) != PLIST_ARRAY)
            throw Corrupt("not a keyed archive: no object table");
        forEachItem(table, [&](plist_t item) { objects.push_back(item); });
        inProgress.assign(objects.size(), 0);
    }

    uint64_t rootUID()
    {
        plist_t top = member(root, "$top");
        if (typeOf(top) != PLIST_DICT)
            throw Corrupt("not a keyed archive: no top object");
        auto uid = uidOf(plist_dict_get_item(top, "root"));
        if (!uid)
            throw Corrupt("no root object");
        at(*uid);
        return *uid;
    }

    plist_t at(uint64_t uid)
    {
        if (uid >= objects.size())
            throw Corrupt("dangling object reference");
        return objects[uid];
    }

    void charge(uint64_t count, uint64_t bytes = 0)
    {
        elements += count;
        outputBytes += bytes;
        if (elements > maxElements || outputBytes > maxOutputBytes)
            throw Corrupt("archive expands beyond the limits");
    }

    // The class description a "$class" member refers to.
    plist_t classInfo(plist_t classReference)
    {
        auto uid = uidOf(classReference);
        if (!uid)
            throw Corrupt("object without class");
        plist_t info = at(*uid);
        if (typeOf(info) != PLIST_DICT)
            throw Corrupt("class reference to something that is not a class");
        if (typeOf(plist_dict_get_item(info, "$classname")) != PLIST_STRING)
            throw Corrupt("class without name");
        return info;
    }

    std::string classNameOf(plist_t object)
    {
        return stringOf(plist_dict_get_item(classInfo(member(object, "$class")), "$classname"));
    }

    // The names under "$classes"; what is not a name is left out.
    std::vector<std::string> classChainOf(plist_t classReference)
    {
        std::vector<std::string> chain;
        plist_t list = plist_dict_get_item(classInfo(classReference), "$classes");
        if (typeOf(list) == PLIST_ARRAY)
            forEachItem(list, [&](plist_t item) {
                if (typeOf(item) == PLIST_STRING) {
                    chain.push_back(untilNUL(stringOf(item)));
                    charge(1, chain.back().size());
                }
            });
        return chain;
    }

    // Marks an object as being read for as long as it lives: a second entry is a cycle.
    class Enter {
    public:
        Enter(Impl& impl, uint64_t uid) : impl_(impl), uid_(uid)
        {
            if (impl_.inProgress[uid_])
                throw Corrupt("object cycle");
            if (impl_.depth >= kMaxObjectDepth)
                throw Corrupt("objects nested too deeply");
            impl_.inProgress[uid_] = 1;
            ++impl_.depth;
        }
        ~Enter()
        {
            impl_.inProgress[uid_] = 0;
            --impl_.depth;
        }
        Enter(const Enter&) = delete;
        Enter& operator=(const Enter&) = delete;

    private:
        Impl& impl_;
        uint64_t uid_;
    };

    // The element references of an array object; none when the object is no array.
    plist_t arrayElements(plist_t object)
    {
        if (typeOf(object) != PLIST_DICT || !isArrayClass(classNameOf(object)))
            return nullptr;
        plist_t list = member(object, "NS.objects");
        if (typeOf(list) != PLIST_ARRAY)
            throw Corrupt("array without elements");
        return list;
    }

    template <typename F>
    void forEachReference(plist_t list, F&& f)
    {
        forEachItem(list, [&](plist_t item) {
            auto uid = uidOf(item);
            if (!uid)
                throw Corrupt("array element that is not an object reference");
            charge(1);
            f(*uid);
        });
    }

    std::optional<std::string> stringAt(uint64_t uid)
    {
        if (uid == 0)
            return std::nullopt;
        plist_t object = at(uid);
        if (typeOf(object) == PLIST_DICT) {
            if (!isStringClass(classNameOf(object)))
                return std::nullopt;
            object = member(object, "NS.string");
        }
        if (typeOf(object) != PLIST_STRING)
            return std::nullopt;
        std::string s = stringOf(object);
        charge(1, s.size());
        return s;
    }

    std::optional<std::vector<std::string>> stringListAt(uint64_t uid)
    {
        if (uid == 0)
            return std::nullopt;
        plist_t list = arrayElements(at(uid));
        if (!list)
            return std::nullopt;
        Enter enter(*this, uid);
        std::vector<std::string> out;
        forEachReference(list, [&](uint64_t element) {
            if (auto s = stringAt(element))
                out.push_back(std::move(*s));
        });
        return out;
    }

    // The URL as a string, resolved against its base.
    std::optional<std::string> urlAt(uint64_t uid)
    {
        if (uid == 0)
            return std::nullopt;
        plist_t object = at(uid);
        if (typeOf(object) != PLIST_DICT || classNameOf(object) != "NSURL")
            return std::nullopt;
        Enter enter(*this, uid);
        auto relativeUID = uidOf(member(object, "NS.relative"));
        auto relative = relativeUID ? stringAt(*relativeUID) : std::nullopt;
        if (!relative)
            return std::nullopt;
        auto baseUID = uidOf(member(object, "NS.base"));
        if (!baseUID || *baseUID == 0)
            return relative;
        auto base = urlAt(*baseUID);
        if (!base)
            return std::nullopt;
        return ov::uri::resolve(*base, *relative);
    }

    OVArchivablePtr objectAt(uint64_t uid)
    {
        if (uid == 0)
            return nullptr;
        plist_t object = at(uid);
        if (inProgress[uid])
            throw Corrupt("object cycle");
        if (auto it = decodedObjects.find(uid); it != decodedObjects.end())
            return it->second;
        charge(1);
        if (typeOf(object) != PLIST_DICT)
            throw Corrupt("object list holds a value that is not an object");
        const std::string className = classNameOf(object);
        OVArchivablePtr made = classes && *classes ? (*classes)(className, classChainOf(member(object, "$class"))) : nullptr;
        if (!made)
            throw Corrupt("object of unknown class '" + ovutf8::repaired(className) + "'");
        Enter enter(*this, uid);
        OVKeyedUnarchiver coder(*this, object);
        made->initWithCoder(coder);
        decodedObjects.emplace(uid, made);
        return made;
    }

    std::shared_ptr<const OVOpaqueClass> opaqueClassOf(plist_t classReference)
    {
        auto uid = uidOf(classReference);
        if (!uid)
            throw Corrupt("object without class");
        if (auto it = opaqueClasses.find(*uid); it != opaqueClasses.end())
            return it->second;
        auto made = std::make_shared<OVOpaqueClass>();
        made->name = untilNUL(stringOf(plist_dict_get_item(classInfo(classReference), "$classname")));
        made->chain = classChainOf(classReference);
        charge(1, made->name.size());
        opaqueClasses.emplace(*uid, made);
        return made;
    }

    // A value as it stands in the archive; references are followed and kept shared.
    OVOpaqueValue opaqueOf(plist_t node)
    {
        OVOpaqueValue out;
        using Type = OVOpaqueValue::Type;
        if (auto uid = uidOf(node)) {
            out.type = Type::Reference;
            if (*uid != 0)
                out.target = opaqueAt(*uid);
            return out;
        }
        switch (typeOf(node)) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            out.type = Type::Boolean;
            out.boolean = b != 0;
            return out;
        }
        case PLIST_UINT: {
            uint64_t v = 0;
            plist_get_uint_val(node, &v);
            out.type = Type::Integer;
            out.integer = int64_t(v);
            return out;
        }
        case PLIST_REAL:
            out.type = Type::Real;
            plist_get_real_val(node, &out.real);
            return out;
        case PLIST_STRING: {
            std::string s = untilNUL(stringOf(node));
            charge(1, s.size());
            out.type = Type::String;
            out.bytes = std::move(s);
            return out;
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            charge(1, length);
            out.type = Type::Data;
            out.bytes.assign(bytes ? bytes : "", bytes ? std::size_t(length) : 0);
            return out;
        }
        case PLIST_ARRAY:
            out.type = Type::Array;
            forEachItem(node, [&](plist_t item) {
                charge(1);
                out.items.push_back(opaqueOf(item));
            });
            return out;
        case PLIST_DICT: {
            out.type = Type::Dictionary;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            struct Free {
                void* p;
                ~Free() { free(p); }
            } guard{it};
            std::set<std::string> seen;
            for (;;) {
                char* rawKey = nullptr;
                plist_t value = nullptr;
                plist_dict_next_item(node, it, &rawKey, &value);
                if (!rawKey)
                    break;
                std::string key = ovutf8::repaired(rawKey);
                free(rawKey);
                if (!value)
                    break;
                if (!seen.insert(key).second)
                    throw Corrupt("dictionary with a key twice");
                charge(1, key.size());
                if (key == "$class")
                    out.objectClass = opaqueClassOf(value);
                else
                    out.members.push_back({std::move(key), opaqueOf(value)});
            }
            return out;
        }
        default:
            throw Corrupt("value of a type keyed archives do not hold");
        }
    }

    OVOpaqueRef opaqueAt(uint64_t uid)
    {
        plist_t object = at(uid);
        if (inProgress[uid])
            throw Corrupt("object cycle");
        if (auto it = opaqueObjects.find(uid); it != opaqueObjects.end())
            return it->second;
        charge(1);
        // Every entry counts, as one may be a bare reference to the next.
        Enter enter(*this, uid);
        OVOpaqueRef made = std::make_shared<const OVOpaqueValue>(opaqueOf(object));
        opaqueObjects.emplace(uid, made);
        return made;
    }

    OVArchivableList objectListAt(uint64_t uid)
    {
        if (uid == 0)
            return {};
        plist_t list = arrayElements(at(uid));
        if (!list)
            return {};
        Enter enter(*this, uid);
        OVArchivableList out;
        forEachReference(list, [&](uint64_t element) {
            if (auto made = objectAt(element))
                out.push_back(std::move(made));
        });
        return out;
    }

    OVValue valueAt(uint64_t uid)
    {
        if (uid == 0)
            return OVValue();
        plist_t object = at(uid);
        charge(1);
        if (object)
            if (auto scalar = ovplist::scalarToValue(object))
                return *scalar;
        switch (typeOf(object)) {
        case PLIST_STRING:
            return OVValue(*stringAt(uid));
        case PLIST_DATA: {
            uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(object, &length);
            charge(0, length);
            return OVValue(OVData{std::string(bytes ? bytes : "", bytes ? std::size_t(length) : 0)});
        }
        case PLIST_DICT:
            return objectValueAt(uid, object);
        default:
            return OVValue();
        }
    }

    OVValue objectValueAt(uint64_t uid, plist_t object)
    {
        const std::string name = classNameOf(object);
        if (isStringClass(name)) {
            auto s = stringAt(uid);
            return s ? OVValue(std::move(*s)) : OVValue();
        }
        if (isArrayClass(name) || name == "NSSet" || name == "NSMutableSet") {
            plist_t list = member(object, "NS.objects");
            if (typeOf(list) != PLIST_ARRAY)
                throw Corrupt("array without elements");
            Enter enter(*this, uid);
            OVValue::Array out;
            forEachReference(list, [&](uint64_t element) {
                OVValue v = valueAt(element);
                if (!v.isNull())
                    out.push_back(std::move(v));
            });
            return OVValue(std::move(out));
        }
        if (name == "NSDictionary" || name == "NSMutableDictionary") {
            plist_t keys = member(object, "NS.keys");
            plist_t values = member(object, "NS.objects");
            if (typeOf(keys) != PLIST_ARRAY || typeOf(values) != PLIST_ARRAY ||
                plist_array_get_size(keys) != plist_array_get_size(values))
                throw Corrupt("dictionary with unmatched keys and values");
            Enter enter(*this, uid);
            std::vector<uint64_t> keyUIDs;
            forEachReference(keys, [&](uint64_t k) { keyUIDs.push_back(k); });
            OVValue::Dictionary out;
            std::size_t i = 0;
            forEachReference(values, [&](uint64_t v) {
                auto key = stringAt(keyUIDs[i++]);
                OVValue value = valueAt(v);
                if (key && !value.isNull())
                    out[*key] = std::move(value);
            });
            return OVValue(std::move(out));
        }
        if (name == "NSData" || name == "NSMutableData") {
            plist_t data = member(object, "NS.data");
            if (typeOf(data) != PLIST_DATA)
                return OVValue();
            uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(data, &length);
            charge(0, length);
            return OVValue(OVData{std::string(bytes ? bytes : "", bytes ? std::size_t(length) : 0)});
        }
        return OVValue();
    }
};

OVKeyedUnarchiver::OVKeyedUnarchiver(Impl& impl, const void* object) : impl_(impl), object_(object) {}

namespace {
plist_t objectDict(const void* object) { return const_cast<void*>(object); }

template <typename F>
auto guarded(std::string* error, F&& f) -> decltype(f())
{
    try {
        return f();
    } catch (const Corrupt& e) {
        if (error)
            *error = e.what();
    } catch (const std::bad_alloc&) {
        if (error)
            *error = "out of memory";
    } catch (const std::exception& e) {
        if (error)
            *error = e.what();
    }
    return std::nullopt;
}
} // namespace

std::optional<OVArchivableList>
OVKeyedUnarchiver::unarchiveObjects(std::string_view data, const OVArchiveClassFactory& classes, std::string* error)
{
    return guarded(error, [&]() -> std::optional<OVArchivableList> {
        Impl impl(&classes);
        impl.load(data);
        return impl.objectListAt(impl.rootUID());
    });
}

std::optional<OVValue> OVKeyedUnarchiver::unarchiveValue(std::string_view data, std::string* error)
{
    return guarded(error, [&]() -> std::optional<OVValue> {
        Impl impl;
        impl.load(data);
        return impl.valueAt(impl.rootUID());
    });
}

bool OVKeyedUnarchiver::decodeBool(const char* key)
{
    plist_t node = member(objectDict(object_), key);
    switch (typeOf(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return b != 0;
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        return v != 0;
    }
    default:
        return false;
    }
}

std::optional<int64_t> OVKeyedUnarchiver::decodeInteger(const char* key)
{
    plist_t node = member(objectDict(object_), key);
    if (typeOf(node) != PLIST_UINT)
        return std::nullopt;
    // A property list holds negative values as their 64-bit pattern.
    uint64_t v = 0;
    plist_get_uint_val(node, &v);
    return static_cast<int64_t>(v);
}

std::optional<std::string> OVKeyedUnarchiver::decodeString(const char* key)
{
    auto uid = uidOf(member(objectDict(object_), key));
    return uid ? impl_.stringAt(*uid) : std::nullopt;
}

std::optional<std::vector<std::string>> OVKeyedUnarchiver::decodeStringList(const char* key)
{
    auto uid = uidOf(member(objectDict(object_), key));
    return uid ? impl_.stringListAt(*uid) : std::nullopt;
}

std::optional<std::string> OVKeyedUnarchiver::decodeURL(const char* key)
{
    auto uid = uidOf(member(objectDict(object_), key));
    auto url = uid ? impl_.urlAt(*uid) : std::nullopt;
    return url ? filePathFromURLString(*url) : std::nullopt;
}

std::optional<std::string> OVKeyedUnarchiver::decodeData(const char* key)
{
    auto uid = uidOf(member(objectDict(object_), key));
    if (!uid || *uid == 0)
        return std::nullopt;
    plist_t object = impl_.at(*uid);
    if (typeOf(object) != PLIST_DATA)
        return std::nullopt;
    uint64_t length = 0;
    const char* bytes = plist_get_data_ptr(object, &length);
    impl_.charge(1, length);
    return std::string(bytes ? bytes : "", bytes ? std::size_t(length) : 0);
}

OVOpaqueValue OVKeyedUnarchiver::decodeObjectAsRead() { return impl_.opaqueOf(objectDict(object_)); }

OVArchivableList OVKeyedUnarchiver::decodeObjects(const char* key)
{
    auto uid = uidOf(member(objectDict(object_), key));
    return uid ? impl_.objectListAt(*uid) : OVArchivableList();
}
