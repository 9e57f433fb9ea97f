// Property lists (XML and binary) as OVValues, read defensively: untrusted bytes never crash,
// recurse without bound or allocate without bound.
#pragma once

#include "model/OVValue.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

typedef void* plist_t;

namespace ovplist {

inline constexpr int kMaxDepth = 256;
inline constexpr std::size_t kMaxBytes = 64u << 20;
// Nodes of the parsed tree, counting every reference: a binary list can share one container
// from many places, and libplist expands each reference into a copy.
inline constexpr std::size_t kMaxNodes = 1u << 20;

// Parses XML or binary; none (and *error) for anything malformed or beyond the limits.
// The caller owns the result (plist_free).
plist_t parse(std::string_view data, std::string* error = nullptr);

// Checks the structure of a binary property list without building it: bounds of every offset
// and reference, nesting depth, cycles and the size of the expanded tree. libplist's own
// reader recurses without a limit.
bool validateBinary(std::string_view data, std::string* error = nullptr);

// Scans XML text for the nesting depth and element count of its containers; libplist reads deep
// XML but frees the tree recursively.
bool validateXML(std::string_view data, std::string* error = nullptr);

// The text with every byte that is not part of well-formed UTF-8 replaced by U+FFFD. libplist
// writes other strings as binary that it cannot read back.
std::string validUTF8(std::string_view text);

std::optional<OVValue> toValue(plist_t node, std::string* error = nullptr);
// A boolean, integer or real node as a value; none for any other type.
std::optional<OVValue> scalarToValue(plist_t node);
plist_t fromValue(const OVValue& value);

std::optional<OVValue> read(std::string_view data, std::string* error = nullptr);
std::string writeXML(const OVValue& value);
std::string toBinary(plist_t node);
std::string toXML(plist_t node);

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

    // Repaired with validUTF8 first; ASCII is written as bytes, anything else as UTF-16.
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
