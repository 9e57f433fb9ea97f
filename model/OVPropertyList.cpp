#include "model/OVPropertyList.h"

#include <plist/plist.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ovplist {
namespace {

void fail(std::string* error, const char* why)
{
    if (error)
        *error = why;
}

uint64_t readBE(const unsigned char* p, unsigned size)
{
    uint64_t v = 0;
    for (unsigned i = 0; i < size; ++i)
        v = (v << 8) | p[i];
    return v;
}

} // namespace

bool validateBinary(std::string_view data, std::string* error)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    const std::size_t size = data.size();
    if (size < 8 + 32 || std::memcmp(bytes, "bplist00", 8) != 0)
        return fail(error, "not a binary property list"), false;
    const unsigned char* trailer = bytes + size - 32;
    const unsigned offsetSize = trailer[6];
    const unsigned refSize = trailer[7];
    const uint64_t numObjects = readBE(trailer + 8, 8);
    const uint64_t rootIndex = readBE(trailer + 16, 8);
    const uint64_t tableOffset = readBE(trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8)
        return fail(error, "bad integer sizes"), false;
    if (numObjects == 0 || numObjects > size || rootIndex >= numObjects)
        return fail(error, "bad object count"), false;
    if (tableOffset < 8 || tableOffset > size - 32 || numObjects * offsetSize > size - 32 - tableOffset)
        return fail(error, "bad offset table"), false;

    std::vector<uint64_t> offsets(numObjects);
    for (uint64_t i = 0; i < numObjects; ++i) {
        offsets[i] = readBE(bytes + tableOffset + i * offsetSize, offsetSize);
        if (offsets[i] < 8 || offsets[i] >= tableOffset)
            return fail(error, "object offset out of range"), false;
    }

    // Reads the length of an object whose marker's low nibble is 0xF (a following integer).
    auto objectLength = [&](uint64_t off, uint64_t& length, uint64_t& start) -> bool {
        unsigned low = bytes[off] & 0x0F;
        start = off + 1;
        if (low != 0x0F) {
            length = low;
            return true;
        }
        if (start >= tableOffset || (bytes[start] & 0xF0) != 0x10)
            return false;
        unsigned n = 1u << (bytes[start] & 0x0F);
        if (n > 8 || start + 1 + n > tableOffset)
            return false;
        length = readBE(bytes + start + 1, n);
        start += 1 + n;
        return true;
    };

    // Depth-first walk with an explicit stack; "on path" marks detect cycles. A container's
    // expanded size counts every reference below it, shared ones as often as they are used.
    const uint64_t maxNodes = std::min<uint64_t>(kMaxNodes, size);
    std::vector<uint8_t> state(numObjects, 0); // 0 unvisited, 1 on path, 2 done
    std::vector<uint32_t> expanded(numObjects, 1);
    struct Frame {
        uint64_t index;
        uint64_t refsStart;
        uint64_t refCount;
        uint64_t next;
        uint64_t nodes;
    };
    std::vector<Frame> stack;
    auto enter = [&](uint64_t index) -> int { // -1 error, 0 leaf/done, 1 pushed
        if (index >= numObjects)
            return fail(error, "dangling object reference"), -1;
        if (state[index] == 1)
            return fail(error, "object cycle"), -1;
        if (state[index] == 2)
            return 0;
        uint64_t off = offsets[index];
        unsigned marker = bytes[off] & 0xF0;
        uint64_t length = 0, start = off + 1;
        switch (marker) {
        case 0x00:
            state[index] = 2;
            return 0;
        case 0x10:
        case 0x20: {
            uint64_t n = 1u << (bytes[off] & 0x0F);
            if (n > 16 || off + 1 + n > tableOffset)
                return fail(error, "truncated number"), -1;
            state[index] = 2;
            return 0;
        }
        case 0x30:
            if (off + 9 > tableOffset)
                return fail(error, "truncated date"), -1;
            state[index] = 2;
            return 0;
        case 0x40:
        case 0x50:
        case 0x60:
        case 0x70: {
            if (!objectLength(off, length, start))
                return fail(error, "bad length"), -1;
            uint64_t unit = marker == 0x60 ? 2 : 1;
            if (length > tableOffset || length * unit > tableOffset - start)
                return fail(error, "truncated data or string"), -1;
            state[index] = 2;
            return 0;
        }
        case 0x80: {
            uint64_t n = (bytes[off] & 0x0F) + 1u;
            if (off + 1 + n > tableOffset)
                return fail(error, "truncated uid"), -1;
            state[index] = 2;
            return 0;
        }
        case 0xA0:
        case 0xC0:
        case 0xD0: {
            if (!objectLength(off, length, start))
                return fail(error, "bad length"), -1;
            uint64_t refs = marker == 0xD0 ? length * 2 : length;
            if (length > numObjects * 2 || refs * refSize > tableOffset - start)
                return fail(error, "truncated container"), -1;
            if (stack.size() >= std::size_t(kMaxDepth))
                return fail(error, "nesting too deep"), -1;
            state[index] = 1;
            stack.push_back({index, start, refs, 0, 1});
            return 1;
        }
        default:
            return fail(error, "unknown object type"), -1;
        }
    };
    if (enter(rootIndex) < 0)
        return false;
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next == f.refCount) {
            const uint64_t index = f.index, nodes = f.nodes;
            state[index] = 2;
            expanded[index] = uint32_t(nodes);
            stack.pop_back();
            if (!stack.empty()) {
                stack.back().nodes += nodes;
                if (stack.back().nodes > maxNodes)
                    return fail(error, "too many objects"), false;
            }
            continue;
        }
        uint64_t child = readBE(bytes + f.refsStart + f.next * refSize, refSize);
        ++f.next;
        int entered = enter(child);
        if (entered < 0)
            return false;
        if (entered == 0) {
            // enter() may have grown the stack only when it returns 1, so f is still valid.
            f.nodes += expanded[child];
            if (f.nodes > maxNodes)
                return fail(error, "too many objects"), false;
        }
    }
    return true;
}

bool validateXML(std::string_view data, std::string* error)
{
    // Only array and dict nest. Comments, CDATA, processing instructions and declarations are
    // skipped so that tag-like text inside them is not counted.
    std::size_t depth = 0, elements = 0, i = 0;
    auto skipPast = [&](std::string_view end) -> bool {
        std::size_t at = data.find(end, i);
        if (at == std::string_view::npos)
            return false;
        i = at + end.size();
        return true;
    };
    while ((i = data.find('<', i)) != std::string_view::npos) {
        std::string_view rest = data.substr(i);
        if (rest.starts_with("<!--")) {
            if (!skipPast("-->"))
                return fail(error, "unterminated comment"), false;
            continue;
        }
        if (rest.starts_with("<![CDATA[")) {
            if (!skipPast("]]>"))
                return fail(error, "unterminated CDATA"), false;
            continue;
        }
        if (rest.starts_with("<?")) {
            if (!skipPast("?>"))
                return fail(error, "unterminated processing instruction"), false;
            continue;
        }
        if (rest.starts_with("<!")) {
            if (!skipPast(">"))
                return fail(error, "unterminated declaration"), false;
            continue;
        }
        const bool closing = rest.size() > 1 && rest[1] == '/';
        std::size_t nameStart = i + (closing ? 2 : 1);
        std::size_t tagEnd = data.find('>', nameStart);
        if (tagEnd == std::string_view::npos)
            return fail(error, "unterminated tag"), false;
        std::size_t nameEnd = nameStart;
        while (nameEnd < tagEnd && data[nameEnd] != '/' && data[nameEnd] != ' ' && data[nameEnd] != '\t' &&
               data[nameEnd] != '\r' && data[nameEnd] != '\n')
            ++nameEnd;
        std::string_view name = data.substr(nameStart, nameEnd - nameStart);
        const bool container = name == "array" || name == "dict";
        const bool selfClosing = data[tagEnd - 1] == '/';
        if (closing) {
            if (container && depth > 0)
                --depth;
        } else {
            if (++elements > kMaxNodes)
                return fail(error, "too many objects"), false;
            if (container && !selfClosing && ++depth > std::size_t(kMaxDepth))
                return fail(error, "nesting too deep"), false;
        }
        i = tagEnd + 1;
    }
    return true;
}

namespace {
// libplist frees recursively. The XML scan above keeps trees shallow; should libplist ever read
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

std::string validUTF8(std::string_view text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::string out;
    out.reserve(n);
    auto cont = [&](std::size_t i, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
        return i < n && p[i] >= lo && p[i] <= hi;
    };
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        std::size_t len = 0;
        if (c < 0x80)
            len = 1;
        else if (c >= 0xC2 && c <= 0xDF)
            len = cont(i + 1) ? 2 : 0;
        else if (c >= 0xE0 && c <= 0xEF) {
            unsigned char lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
            len = cont(i + 1, lo, hi) && cont(i + 2) ? 3 : 0;
        } else if (c >= 0xF0 && c <= 0xF4) {
            unsigned char lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
            len = cont(i + 1, lo, hi) && cont(i + 2) && cont(i + 3) ? 4 : 0;
        }
        if (len) {
            out.append(text.substr(i, len));
            i += len;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

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
        plist_t operator()(const std::string& s) const { return plist_new_string(validUTF8(s).c_str()); }
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
                plist_dict_set_item(dict, validUTF8(k).c_str(), fromValue(v));
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

std::string toBinary(plist_t node)
{
    char* out = nullptr;
    uint32_t len = 0;
    plist_to_bin(node, &out, &len);
    std::string s(out ? out : "", out ? len : 0);
    plist_to_bin_free(out);
    return s;
}

std::string toXML(plist_t node)
{
    char* out = nullptr;
    uint32_t len = 0;
    plist_to_xml(node, &out, &len);
    std::string s(out ? out : "", out ? len : 0);
    plist_to_xml_free(out);
    return s;
}

std::string writeXML(const OVValue& value)
{
    plist_t node = fromValue(value);
    std::string s = toXML(node);
    plist_free(node);
    return s;
}

} // namespace ovplist

namespace ovplist {
namespace {

// The fewest of 1, 2, 4 or 8 bytes that hold value: the sizes an integer may have.
unsigned bytesFor(uint64_t value)
{
    return value <= 0xFF ? 1 : value <= 0xFFFF ? 2 : value <= 0xFFFFFFFFu ? 4 : 8;
}

// References and offsets may take any width; CoreFoundation's reader wants 2^(8*width) above the
// object count and the offset table's position respectively.
unsigned widthFor(uint64_t value)
{
    unsigned n = 1;
    while (n < 8 && (value >> (8 * n)) != 0)
        ++n;
    return n;
}

unsigned log2Of(unsigned size) { return size == 1 ? 0 : size == 2 ? 1 : size == 4 ? 2 : 3; }

// UIDs below this are shared through a table; an archive numbers its objects from 0.
constexpr uint64_t kSharedUIDs = 1u << 20;

} // namespace

BinaryWriter::BinaryWriter() : out_("bplist00") {}

BinaryWriter::Ref BinaryWriter::leaf()
{
    offsets_.push_back(out_.size());
    return Ref(offsets_.size() - 1);
}

void BinaryWriter::appendBE(uint64_t value, unsigned size)
{
    char buf[8];
    for (unsigned i = 0; i < size; ++i)
        buf[size - 1 - i] = char(value >> (8 * i));
    out_.append(buf, size);
}

void BinaryWriter::marker(unsigned type, uint64_t length)
{
    if (length < 15) {
        out_ += char(type | unsigned(length));
        return;
    }
    out_ += char(type | 0x0F);
    const unsigned n = bytesFor(length);
    out_ += char(0x10 | log2Of(n));
    appendBE(length, n);
}

BinaryWriter::Ref BinaryWriter::string(std::string_view text)
{
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return (unsigned char)c < 0x80; });
    std::string repaired;
    if (!ascii) {
        repaired = validUTF8(text);
        text = repaired;
    }
    if (auto it = strings_.find(text); it != strings_.end())
        return it->second;
    const Ref ref = leaf();
    if (ascii) {
        marker(0x50, text.size());
        out_.append(text);
    } else {
        // Well-formed after the repair, so every sequence is complete.
        utf16_.clear();
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        for (std::size_t i = 0, n = text.size(); i < n;) {
            uint32_t cp = p[i];
            if (cp < 0x80) {
                i += 1;
            } else if (cp < 0xE0) {
                cp = ((cp & 0x1F) << 6) | (p[i + 1] & 0x3F);
                i += 2;
            } else if (cp < 0xF0) {
                cp = ((cp & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F);
                i += 3;
            } else {
                cp = ((cp & 0x07) << 18) | ((p[i + 1] & 0x3F) << 12) | ((p[i + 2] & 0x3F) << 6) | (p[i + 3] & 0x3F);
                i += 4;
            }
            if (cp >= 0x10000) {
                cp -= 0x10000;
                utf16_ += char16_t(0xD800 | (cp >> 10));
                utf16_ += char16_t(0xDC00 | (cp & 0x3FF));
            } else {
                utf16_ += char16_t(cp);
            }
        }
        marker(0x60, utf16_.size());
        for (char16_t u : utf16_) {
            out_ += char(u >> 8);
            out_ += char(u & 0xFF);
        }
    }
    strings_.emplace(std::string(text), ref);
    return ref;
}

BinaryWriter::Ref BinaryWriter::integer(int64_t value)
{
    const Ref ref = leaf();
    // Negative numbers take all 8 bytes, which readers take as signed.
    const unsigned n = value < 0 ? 8 : bytesFor(uint64_t(value));
    out_ += char(0x10 | log2Of(n));
    appendBE(uint64_t(value), n);
    return ref;
}

BinaryWriter::Ref BinaryWriter::real(double value)
{
    const Ref ref = leaf();
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    out_ += char(0x23);
    appendBE(bits, 8);
    return ref;
}

BinaryWriter::Ref BinaryWriter::boolean(bool value)
{
    Ref& shared = bools_[value ? 1 : 0];
    if (shared == kNone) {
        shared = leaf();
        out_ += char(value ? 0x09 : 0x08);
    }
    return shared;
}

BinaryWriter::Ref BinaryWriter::data(std::string_view bytes)
{
    const Ref ref = leaf();
    marker(0x40, bytes.size());
    out_.append(bytes);
    return ref;
}

BinaryWriter::Ref BinaryWriter::uid(uint64_t value)
{
    if (value < kSharedUIDs) {
        if (value >= uids_.size())
            uids_.resize(std::max<std::size_t>(value + 1, uids_.size() * 2), kNone);
        if (uids_[value] != kNone)
            return uids_[value];
    }
    const Ref ref = leaf();
    const unsigned n = bytesFor(value);
    out_ += char(0x80 | (n - 1));
    appendBE(value, n);
    if (value < kSharedUIDs)
        uids_[value] = ref;
    return ref;
}

BinaryWriter::Ref BinaryWriter::array(std::span<const Ref> items)
{
    const Ref ref = Ref(offsets_.size());
    offsets_.push_back(0);
    containers_.push_back({ref, false, uint32_t(refs_.size()), uint32_t(items.size())});
    refs_.insert(refs_.end(), items.begin(), items.end());
    return ref;
}

BinaryWriter::Ref BinaryWriter::dictionary(std::span<const Member> members)
{
    const Ref ref = Ref(offsets_.size());
    offsets_.push_back(0);
    containers_.push_back({ref, true, uint32_t(refs_.size()), uint32_t(members.size())});
    for (const auto& m : members)
        refs_.push_back(m.first);
    for (const auto& m : members)
        refs_.push_back(m.second);
    return ref;
}

std::string BinaryWriter::finish(Ref root)
{
    // Containers go last: the width of a reference depends on how many objects there are.
    const uint64_t count = offsets_.size();
    const unsigned refSize = widthFor(count);
    auto lengthSize = [](uint64_t length) { return length < 15 ? 1 : 2 + bytesFor(length); };
    uint64_t tableOffset = out_.size();
    for (const Container& c : containers_)
        tableOffset += lengthSize(c.count) + uint64_t(c.dictionary ? 2 : 1) * c.count * refSize;
    const unsigned offsetSize = widthFor(tableOffset);

    std::size_t at = out_.size();
    out_.resize(tableOffset + count * offsetSize + 32);
    char* const base = out_.data();
    auto put = [&](uint64_t value, unsigned size) {
        for (unsigned i = size; i-- > 0; value >>= 8)
            base[at + i] = char(value);
        at += size;
    };
    for (const Container& c : containers_) {
        offsets_[c.self] = at;
        const unsigned type = c.dictionary ? 0xD0 : 0xA0;
        if (c.count < 15) {
            base[at++] = char(type | c.count);
        } else {
            base[at++] = char(type | 0x0F);
            const unsigned n = bytesFor(c.count);
            base[at++] = char(0x10 | log2Of(n));
            put(c.count, n);
        }
        const Ref* ref = refs_.data() + c.first;
        const Ref* const end = ref + (c.dictionary ? 2 * std::size_t(c.count) : c.count);
        for (; ref != end; ++ref)
            put(*ref, refSize);
    }
    for (uint64_t offset : offsets_)
        put(offset, offsetSize);
    std::memset(base + at, 0, 6);
    at += 6;
    base[at++] = char(offsetSize);
    base[at++] = char(refSize);
    put(count, 8);
    put(root, 8);
    put(tableOffset, 8);
    containers_.clear();
    refs_.clear();
    return std::move(out_);
}

} // namespace ovplist
