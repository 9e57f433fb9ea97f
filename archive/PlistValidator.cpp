// SPDX-License-Identifier: GPL-3.0-or-later
// Structure checks of untrusted property lists, made before libplist reads them.
#include "archive/OVPropertyList.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ovplist {
namespace {

using detail::fail;

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

    auto isPlainKey = [&](uint64_t off) {
        const unsigned marker = bytes[off] & 0xF0;
        uint64_t length = 0, start = off + 1;
        if ((marker != 0x50 && marker != 0x60) || !objectLength(off, length, start))
            return false;
        const uint64_t unit = marker == 0x60 ? 2 : 1;
        if (length > tableOffset || length * unit > tableOffset - start)
            return false;
        for (uint64_t i = 0; i < length; ++i)
            if (unit == 1 ? bytes[start + i] == 0 : bytes[start + 2 * i] == 0 && bytes[start + 2 * i + 1] == 0)
                return false;
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
        uint64_t keys; // a dictionary's keys come before its values
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
            stack.push_back({index, start, refs, 0, 1, marker == 0xD0 ? length : 0});
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
        // libplist asserts on a key that is no string, or holds a NUL, when the dictionary is walked.
        if (f.next < f.keys && child < numObjects && !isPlainKey(offsets[child]))
            return fail(error, "dictionary key that is not a plain string"), false;
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

} // namespace ovplist
