// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/BinaryWriter.h"

#include "archive/UTF8.h"

#include <algorithm>
#include <cstring>

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
        repaired = ovutf8::repaired(text);
        text = repaired;
    }
    if (auto it = strings_.find(text); it != strings_.end())
        return it->second;
    const Ref ref = leaf();
    if (ascii) {
        marker(0x50, text.size());
        out_.append(text);
    } else {
        // Well-formed after the repair, so every character decodes.
        utf16_.clear();
        for (std::size_t i = 0; i < text.size();) {
            const ovutf8::Character c = *ovutf8::decode(text, i);
            i += c.length;
            if (c.value >= 0x10000) {
                const char32_t v = c.value - 0x10000;
                utf16_ += char16_t(0xD800 | (v >> 10));
                utf16_ += char16_t(0xDC00 | (v & 0x3FF));
            } else {
                utf16_ += char16_t(c.value);
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
