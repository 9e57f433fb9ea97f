// SPDX-License-Identifier: GPL-3.0-or-later
// Property lists (XML and binary) as OVValues, read defensively: untrusted bytes never crash,
// recurse without bound or allocate without bound.
#pragma once

#include "platform/OVValue.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

typedef void* plist_t;

namespace ovplist {

namespace detail {
// Sets *error when there is one to set: "return fail(error, why), value;".
inline void fail(std::string* error, const char* why)
{
    if (error)
        *error = why;
}
} // namespace detail

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

std::optional<OVValue> toValue(plist_t node, std::string* error = nullptr);
// A boolean, integer or real node as a value; none for any other type.
std::optional<OVValue> scalarToValue(plist_t node);
plist_t fromValue(const OVValue& value);

std::optional<OVValue> read(std::string_view data, std::string* error = nullptr);
std::string writeXML(const OVValue& value);
std::string toBinary(plist_t node);
std::string toXML(plist_t node);

} // namespace ovplist
