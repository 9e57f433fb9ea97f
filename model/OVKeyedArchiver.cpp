#include "model/OVKeyedArchiver.h"

#include "model/OVKeyedUnarchiver.h"
#include "model/OVPropertyList.h"

#include <plist/plist.h>

#include <map>
#include <set>
#include <vector>

namespace {

const std::vector<std::string> kArrayClasses = {"NSArray", "NSObject"};
const std::vector<std::string> kDictionaryClasses = {"NSDictionary", "NSObject"};
const std::vector<std::string> kURLClasses = {"NSURL", "NSObject"};

} // namespace

struct OVKeyedArchiver::Impl {
    explicit Impl(OVKeyedArchiver& owner) : owner(owner) { objects.push_back(plist_new_string("$null")); }
    ~Impl()
    {
        for (plist_t o : objects)
            plist_free(o);
    }

    OVKeyedArchiver& owner;
    std::vector<plist_t> objects; // owned until finish() hands them to "$objects"
    std::map<std::string, uint64_t> strings;
    std::map<std::string, uint64_t> classes;
    std::map<const OVAction*, uint64_t> archivedActions;
    std::set<const OVAction*> inProgress;
    plist_t current = nullptr; // the object whose members are being written
    int depth = 0;

    uint64_t add(plist_t node)
    {
        objects.push_back(node);
        return objects.size() - 1;
    }

    uint64_t stringUID(const std::string& s)
    {
        auto it = strings.find(s);
        if (it != strings.end())
            return it->second;
        uint64_t uid = add(plist_new_string(ovplist::validUTF8(s).c_str()));
        strings.emplace(s, uid);
        return uid;
    }

    uint64_t classUID(const std::string& name, const std::vector<std::string>& hierarchy)
    {
        auto it = classes.find(name);
        if (it != classes.end())
            return it->second;
        plist_t info = plist_new_dict();
        plist_dict_set_item(info, "$classname", plist_new_string(ovplist::validUTF8(name).c_str()));
        plist_t chain = plist_new_array();
        for (const auto& c : hierarchy)
            plist_array_append_item(chain, plist_new_string(c.c_str()));
        plist_dict_set_item(info, "$classes", chain);
        uint64_t uid = add(info);
        classes.emplace(name, uid);
        return uid;
    }

    plist_t newObject(const std::string& className, const std::vector<std::string>& hierarchy)
    {
        plist_t dict = plist_new_dict();
        plist_dict_set_item(dict, "$class", plist_new_uid(classUID(className, hierarchy)));
        return dict;
    }

    uint64_t arrayOf(const std::vector<uint64_t>& uids)
    {
        plist_t dict = newObject("NSArray", kArrayClasses);
        plist_t list = plist_new_array();
        for (uint64_t u : uids)
            plist_array_append_item(list, plist_new_uid(u));
        plist_dict_set_item(dict, "NS.objects", list);
        return add(dict);
    }

    // Whether an action at the next level would leave room for its own members below it.
    bool roomForAction() const { return depth + 2 <= OVKeyedUnarchiver::kMaxObjectDepth; }

    // 0 when the action cannot be archived: it contains itself, or it is nested too deep.
    uint64_t actionUID(const OVAction& action)
    {
        auto it = archivedActions.find(&action);
        if (it != archivedActions.end())
            return it->second;
        if (inProgress.count(&action) || !roomForAction())
            return 0;
        // The slot is taken before the members are written, as the children come after it.
        uint64_t uid = add(nullptr);
        plist_t dict = newObject(action.className(), action.classHierarchy());
        inProgress.insert(&action);
        plist_t saved = current;
        current = dict;
        ++depth;
        action.encodeWithCoder(owner);
        --depth;
        current = saved;
        inProgress.erase(&action);
        objects[uid] = dict;
        archivedActions.emplace(&action, uid);
        return uid;
    }

    uint64_t actionListUID(const OVActionList& actions)
    {
        std::vector<uint64_t> uids;
        ++depth;
        for (const auto& a : actions) {
            if (!a)
                continue;
            if (uint64_t u = actionUID(*a))
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
            uint64_t operator()(bool b) const { return self.add(plist_new_bool(b)); }
            uint64_t operator()(int64_t i) const { return self.add(plist_new_uint(uint64_t(i))); }
            uint64_t operator()(double d) const { return self.add(plist_new_real(d)); }
            uint64_t operator()(const std::string& s) const { return self.stringUID(s); }
            uint64_t operator()(const OVData& d) const
            {
                return self.add(plist_new_data(d.bytes.data(), d.bytes.size()));
            }
            uint64_t operator()(const OVValue::Array& a) const
            {
                std::vector<uint64_t> uids;
                for (const auto& v : a)
                    uids.push_back(self.valueUID(v));
                return self.arrayOf(uids);
            }
            uint64_t operator()(const OVValue::Dictionary& d) const
            {
                plist_t keys = plist_new_array();
                plist_t values = plist_new_array();
                for (const auto& [k, v] : d) {
                    plist_array_append_item(keys, plist_new_uid(self.stringUID(k)));
                    plist_array_append_item(values, plist_new_uid(self.valueUID(v)));
                }
                plist_t dict = self.newObject("NSDictionary", kDictionaryClasses);
                plist_dict_set_item(dict, "NS.keys", keys);
                plist_dict_set_item(dict, "NS.objects", values);
                return self.add(dict);
            }
        };
        return std::visit(Visitor{*this}, value.value);
    }

    std::string finish(uint64_t root)
    {
        plist_t top = plist_new_dict();
        plist_dict_set_item(top, "$archiver", plist_new_string("NSKeyedArchiver"));
        plist_dict_set_item(top, "$version", plist_new_uint(100000));
        plist_t topObjects = plist_new_dict();
        plist_dict_set_item(topObjects, "root", plist_new_uid(root));
        plist_dict_set_item(top, "$top", topObjects);
        plist_t list = plist_new_array();
        for (plist_t o : objects)
            plist_array_append_item(list, o);
        objects.clear();
        plist_dict_set_item(top, "$objects", list);
        std::string data = ovplist::toBinary(top);
        plist_free(top);
        return data;
    }

    void set(const char* key, plist_t value)
    {
        if (current)
            plist_dict_set_item(current, key, value);
        else
            plist_free(value);
    }
};

OVKeyedArchiver::OVKeyedArchiver() : impl_(std::make_unique<Impl>(*this)) {}

OVKeyedArchiver::~OVKeyedArchiver() = default;

void OVKeyedArchiver::encodeBool(const char* key, bool value) { impl_->set(key, plist_new_bool(value)); }

void OVKeyedArchiver::encodeString(const char* key, const std::optional<std::string>& value)
{
    if (value)
        impl_->set(key, plist_new_uid(impl_->stringUID(*value)));
}

void OVKeyedArchiver::encodeStringList(const char* key, const std::optional<OVStringList>& value)
{
    if (!value)
        return;
    std::vector<uint64_t> uids;
    for (const auto& s : *value)
        uids.push_back(impl_->stringUID(s));
    impl_->set(key, plist_new_uid(impl_->arrayOf(uids)));
}

void OVKeyedArchiver::encodeURL(const char* key, const std::optional<std::string>& filePath)
{
    if (!filePath || filePath->empty())
        return;
    plist_t dict = impl_->newObject("NSURL", kURLClasses);
    plist_dict_set_item(dict, "NS.base", plist_new_uid(0));
    plist_dict_set_item(dict, "NS.relative", plist_new_uid(impl_->stringUID(fileURLStringWithPath(*filePath))));
    impl_->set(key, plist_new_uid(impl_->add(dict)));
}

void OVKeyedArchiver::encodeImage(const char* key, const std::optional<OVImage>& value)
{
    // The empty image is left out and comes back as the empty image through the icon setter.
    if (!value || value->isEmpty())
        return;
    if (!value->pngData().empty()) {
        const std::string& png = value->pngData();
        impl_->set(key, plist_new_uid(impl_->add(plist_new_data(png.data(), png.size()))));
    } else {
        impl_->set(key, plist_new_uid(impl_->stringUID(value->serialized())));
    }
}

void OVKeyedArchiver::encodeActions(const char* key, const OVActionList& actions)
{
    impl_->set(key, plist_new_uid(impl_->actionListUID(actions)));
}

std::string OVKeyedArchiver::archivedDataWithRootActions(const OVActionList& actions)
{
    OVKeyedArchiver archiver;
    uint64_t root = archiver.impl_->actionListUID(actions);
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
    static const char hex[] = "0123456789ABCDEF";
    std::string out = path.starts_with('/') ? "file://" : "";
    for (unsigned char c : path) {
        bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    std::string_view("-._~/!$&'()*+,;=@").find(char(c)) != std::string_view::npos;
        // In a relative reference a colon could read as the end of a scheme.
        if (c == ':' && path.starts_with('/'))
            keep = true;
        if (keep) {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}
