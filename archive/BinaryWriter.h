// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ovplist {

// Writes a binary property list straight from objects added one at a time, without building a
// libplist tree. Each add returns the object's reference for use in containers added later; the
// root is named at the end. Equal strings (dictionary keys included) and equal UIDs share one
// object.
class BinaryWriter {
public:
    using Ref = uint32_t;
    using Member = std::pair<Ref, Ref>; // key (a string), value
    static constexpr Ref kNone = UINT32_MAX;

    BinaryWriter();

    // Repaired (ovutf8::repaired) first; ASCII is written as bytes, anything else as UTF-16.
    Ref string(std::string_view text);
    Ref integer(int64_t value);
    Ref real(double value);
    Ref boolean(bool value);
    Ref data(std::string_view bytes);
    Ref uid(uint64_t value);
    Ref array(std::span<const Ref> items);
    Ref dictionary(std::span<const Member> members);

    std::size_t objectCount() const { return offsets_.size(); }

    // The whole list with root as its top object; the writer is spent afterwards.
    std::string finish(Ref root);

private:
    struct Container {
        Ref self;
        bool dictionary;
        uint32_t first; // into refs_: the items, or every key followed by every value
        uint32_t count;
    };
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };

    Ref leaf();
    void marker(unsigned type, uint64_t length);
    void appendBE(uint64_t value, unsigned size);

    std::string out_;
    std::vector<uint64_t> offsets_; // by reference; a container's is known only at the end
    std::vector<Container> containers_;
    std::vector<Ref> refs_;
    std::unordered_map<std::string, Ref, Hash, std::equal_to<>> strings_;
    std::vector<Ref> uids_; // by value, for small values; kNone when not written yet
    Ref bools_[2] = {kNone, kNone};
    std::u16string utf16_;
};

} // namespace ovplist
