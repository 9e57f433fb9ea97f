// SPDX-License-Identifier: GPL-3.0-or-later
// Parsing through libplist once the structure checks passed, and conversion between libplist
// trees and OVValues.
#include "archive/OVPropertyList.h"

#include "archive/UTF8.h"

#include <plist/plist.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace ovplist {

using detail::fail;

namespace {
// libplist frees recursively. The XML scan (validateXML) keeps trees shallow; should libplist ever read
// deeper than it counted, the tree is measured here and taken apart leaf by leaf.
std::size_t treeDepth(plist_t root)
{
    struct Frame {
        plist_t node;
        void* iter;
    };
    auto open = [](plist_t node) -> Frame {
        void* it = nullptr;
        if (plist_get_node_type(node) == PLIST_ARRAY)
            plist_array_new_iter(node, &it);
        else if (plist_get_node_type(node) == PLIST_DICT)
            plist_dict_new_iter(node, &it);
        return {node, it};
    };
    std::vector<Frame> stack{open(root)};
    std::size_t deepest = 1;
    while (!stack.empty()) {
        Frame& f = stack.back();
        plist_t child = nullptr;
        if (f.iter && plist_get_node_type(f.node) == PLIST_ARRAY) {
            plist_array_next_item(f.node, f.iter, &child);
        } else if (f.iter) {
            char* key = nullptr;
            plist_dict_next_item(f.node, f.iter, &key, &child);
            free(key);
        }
        if (!child) {
            free(f.iter);
            stack.pop_back();
            continue;
        }
        stack.push_back(open(child));
        deepest = std::max(deepest, stack.size());
    }
    return deepest;
}

void freeDeep(plist_t root)
{
    std::vector<plist_t> path{root};
    while (!path.empty()) {
        plist_t node = path.back();
        plist_type type = plist_get_node_type(node);
        if (type == PLIST_ARRAY && plist_array_get_size(node) > 0) {
            path.push_back(plist_array_get_item(node, plist_array_get_size(node) - 1));
            continue;
        }
        if (type == PLIST_DICT && plist_dict_get_size(node) > 0) {
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            char* key = nullptr;
            plist_t child = nullptr;
            plist_dict_next_item(node, it, &key, &child);
            free(key);
            free(it);
            path.push_back(child);
            continue;
        }
        path.pop_back();
        if (path.empty()) {
            plist_free(node);
            break;
        }
        plist_t parent = path.back();
        if (plist_get_node_type(parent) == PLIST_ARRAY) {
            plist_array_remove_item(parent, plist_array_get_size(parent) - 1);
        } else {
            char* key = nullptr;
            plist_dict_get_item_key(node, &key);
            if (key)
                plist_dict_remove_item(parent, key);
            free(key);
        }
    }
}
} // namespace


plist_t parse(std::string_view data, std::string* error)
{
    if (data.size() > kMaxBytes)
        return fail(error, "property list too large"), nullptr;
    if (data.size() < 8)
        return fail(error, "property list too short"), nullptr;
    plist_t root = nullptr;
    if (plist_is_binary(data.data(), uint32_t(data.size()))) {
        if (!validateBinary(data, error))
            return nullptr;
        plist_from_bin(data.data(), uint32_t(data.size()), &root);
    } else {
        if (!validateXML(data, error))
            return nullptr;
        plist_from_xml(data.data(), uint32_t(data.size()), &root);
        if (root) {
            std::size_t depth = treeDepth(root);
            if (depth > std::size_t(kMaxDepth) + 1) {
                if (depth > 4096)
                    freeDeep(root);
                else
                    plist_free(root);
                return fail(error, "nesting too deep"), nullptr;
            }
        }
    }
    if (!root)
        fail(error, "malformed property list");
    return root;
}

std::optional<OVValue> scalarToValue(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return OVValue(bool(b));
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        return OVValue(int64_t(v));
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return OVValue(d);
    }
    default:
        return std::nullopt;
    }
}

namespace {
std::optional<OVValue> convert(plist_t node, int depth, std::string* error)
{
    if (depth > kMaxDepth)
        return fail(error, "nesting too deep"), std::nullopt;
    if (auto scalar = scalarToValue(node))
        return scalar;
    switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
        uint64_t len = 0;
        const char* s = plist_get_string_ptr(node, &len);
        return OVValue(std::string(s ? s : "", s ? std::size_t(len) : 0));
    }
    case PLIST_DATA: {
        uint64_t len = 0;
        const char* d = plist_get_data_ptr(node, &len);
        return OVValue(OVData{std::string(d ? d : "", d ? std::size_t(len) : 0)});
    }
    case PLIST_UID: {
        uint64_t v = 0;
        plist_get_uid_val(node, &v);
        return OVValue(OVValue::Dictionary{{"CF$UID", OVValue(int64_t(v))}});
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return OVValue(double(sec) + usec / 1e6);
    }
    case PLIST_ARRAY: {
        OVValue::Array out;
        plist_array_iter it = nullptr;
        plist_array_new_iter(node, &it);
        for (;;) {
            plist_t item = nullptr;
            plist_array_next_item(node, it, &item);
            if (!item)
                break;
            auto v = convert(item, depth + 1, error);
            if (!v) {
                free(it);
                return std::nullopt;
            }
            out.push_back(std::move(*v));
        }
        free(it);
        return OVValue(std::move(out));
    }
    case PLIST_DICT: {
        OVValue::Dictionary out;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, it, &key, &item);
            if (!item) {
                free(key);
                break;
            }
            auto v = convert(item, depth + 1, error);
            if (!v) {
                free(key);
                free(it);
                return std::nullopt;
            }
            out[key ? key : ""] = std::move(*v);
            free(key);
        }
        free(it);
        return OVValue(std::move(out));
    }
    default:
        return fail(error, "unsupported property-list type"), std::nullopt;
    }
}
} // namespace

std::optional<OVValue> toValue(plist_t node, std::string* error)
{
    if (!node)
        return fail(error, "no property list"), std::nullopt;
    return convert(node, 0, error);
}

plist_t fromValue(const OVValue& value)
{
    struct Visitor {
        plist_t operator()(std::monostate) const { return plist_new_string(""); }
        plist_t operator()(bool b) const { return plist_new_bool(b); }
        plist_t operator()(int64_t i) const { return plist_new_uint(uint64_t(i)); }
        plist_t operator()(double d) const { return plist_new_real(d); }
        plist_t operator()(const std::string& s) const { return plist_new_string(ovutf8::repaired(s).c_str()); }
        plist_t operator()(const OVData& d) const { return plist_new_data(d.bytes.data(), d.bytes.size()); }
        plist_t operator()(const OVValue::Array& a) const
        {
            plist_t arr = plist_new_array();
            for (const auto& v : a)
                plist_array_append_item(arr, fromValue(v));
            return arr;
        }
        plist_t operator()(const OVValue::Dictionary& d) const
        {
            plist_t dict = plist_new_dict();
            for (const auto& [k, v] : d)
                plist_dict_set_item(dict, ovutf8::repaired(k).c_str(), fromValue(v));
            return dict;
        }
    };
    return std::visit(Visitor{}, value.value);
}

std::optional<OVValue> read(std::string_view data, std::string* error)
{
    plist_t root = parse(data, error);
    if (!root)
        return std::nullopt;
    auto v = toValue(root, error);
    plist_free(root);
    return v;
}

namespace {
template <typename Write, typename Release>
std::string serialized(plist_t node, Write write, Release release)
{
    char* out = nullptr;
    uint32_t len = 0;
    write(node, &out, &len);
    std::string s(out ? out : "", out ? len : 0);
    release(out);
    return s;
}
} // namespace

std::string toBinary(plist_t node) { return serialized(node, plist_to_bin, plist_to_bin_free); }

std::string toXML(plist_t node) { return serialized(node, plist_to_xml, plist_to_xml_free); }

std::string writeXML(const OVValue& value)
{
    plist_t node = fromValue(value);
    std::string s = toXML(node);
    plist_free(node);
    return s;
}

} // namespace ovplist
