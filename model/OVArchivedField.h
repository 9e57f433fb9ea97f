// SPDX-License-Identifier: GPL-3.0-or-later
// One archived member of an action: its key, the member and how the archive holds it. A kind
// lists its fields once; writing, reading, copying and comparing are done from that list.
#pragma once

#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"

#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

namespace ovfield {

// How a value is archived: static encode(coder, key, value) and decode(coder, key). It may also
// give copy(from, to) and equal(a, b) when plain assignment and == are not what a field means.
struct BoolArchive {
    static void encode(OVKeyedArchiver& c, const char* key, bool v) { c.encodeBool(key, v); }
    static bool decode(OVKeyedUnarchiver& c, const char* key) { return c.decodeBool(key); }
};

// A switch added after the format was settled: written only when on, so an archive with it off
// is the one older releases wrote, and an absent key reads as off.
struct SetFlagArchive {
    static void encode(OVKeyedArchiver& c, const char* key, bool v)
    {
        if (v)
            c.encodeBool(key, true);
    }
    static bool decode(OVKeyedUnarchiver& c, const char* key) { return c.decodeBool(key); }
};

struct StringArchive {
    static void encode(OVKeyedArchiver& c, const char* key, const std::optional<std::string>& v) { c.encodeString(key, v); }
    static std::optional<std::string> decode(OVKeyedUnarchiver& c, const char* key) { return c.decodeString(key); }
};

// A file path, archived as a file URL.
struct URLArchive {
    static void encode(OVKeyedArchiver& c, const char* key, const std::optional<std::string>& v) { c.encodeURL(key, v); }
    static std::optional<std::string> decode(OVKeyedUnarchiver& c, const char* key) { return c.decodeURL(key); }
};

struct StringListArchive {
    using Value = std::optional<std::vector<std::string>>;
    static void encode(OVKeyedArchiver& c, const char* key, const Value& v) { c.encodeStringList(key, v); }
    static Value decode(OVKeyedUnarchiver& c, const char* key) { return c.decodeStringList(key); }
};

template <class Owner, class T, class Archive>
struct Field {
    using OwnerType = Owner;
    const char* key;
    T Owner::*member;

    void encode(const Owner& o, OVKeyedArchiver& c) const { Archive::encode(c, key, o.*member); }
    void decode(Owner& o, OVKeyedUnarchiver& c) const { o.*member = Archive::decode(c, key); }
    void copy(const Owner& from, Owner& to) const
    {
        if constexpr (requires { Archive::copy(from.*member, to.*member); })
            Archive::copy(from.*member, to.*member);
        else
            to.*member = from.*member;
    }
    bool equal(const Owner& a, const Owner& b) const
    {
        if constexpr (requires { Archive::equal(a.*member, b.*member); })
            return Archive::equal(a.*member, b.*member);
        else
            return a.*member == b.*member;
    }
};

template <class Archive, class Owner, class T>
constexpr Field<Owner, T, Archive> field(const char* key, T Owner::*member)
{
    return {key, member};
}
template <class Owner>
constexpr auto boolean(const char* key, bool Owner::*member)
{
    return field<BoolArchive>(key, member);
}
template <class Owner>
constexpr auto flagWhenSet(const char* key, bool Owner::*member)
{
    return field<SetFlagArchive>(key, member);
}
template <class Owner>
constexpr auto string(const char* key, std::optional<std::string> Owner::*member)
{
    return field<StringArchive>(key, member);
}
template <class Owner>
constexpr auto url(const char* key, std::optional<std::string> Owner::*member)
{
    return field<URLArchive>(key, member);
}
template <class Owner>
constexpr auto stringList(const char* key, std::optional<std::vector<std::string>> Owner::*member)
{
    return field<StringListArchive>(key, member);
}

// The whole list at once, in its order (the order keys are written in).
template <class Owner, class... F>
void encodeAll(const std::tuple<F...>& fields, const Owner& o, OVKeyedArchiver& c)
{
    std::apply([&](const auto&... f) { (f.encode(o, c), ...); }, fields);
}
template <class Owner, class... F>
void decodeAll(const std::tuple<F...>& fields, Owner& o, OVKeyedUnarchiver& c)
{
    std::apply([&](const auto&... f) { (f.decode(o, c), ...); }, fields);
}
template <class Owner, class... F>
void copyAll(const std::tuple<F...>& fields, const Owner& from, Owner& to)
{
    std::apply([&](const auto&... f) { (f.copy(from, to), ...); }, fields);
}
template <class Owner, class... F>
bool equalAll(const std::tuple<F...>& fields, const Owner& a, const Owner& b)
{
    return std::apply([&](const auto&... f) { return (f.equal(a, b) && ...); }, fields);
}

// The string member of o stored under key; none when the list has no string field of that key.
template <class Owner, class... F>
auto stringMember(const std::tuple<F...>& fields, Owner& o, const char* key)
{
    using Value = std::conditional_t<std::is_const_v<Owner>, const std::optional<std::string>, std::optional<std::string>>;
    Value* found = nullptr;
    if (!key)
        return found;
    std::apply([&](const auto&... f) {
        [[maybe_unused]] const auto visit = [&](const auto& field) {
            if constexpr (std::is_same_v<std::remove_cvref_t<decltype(o.*(field.member))>, std::optional<std::string>>)
                if (!found && std::string_view(field.key) == key)
                    found = &(o.*(field.member));
        };
        (visit(f), ...);
    }, fields);
    return found;
}

// Whether every field of the list is a member of Owner itself (not one inherited from a base).
template <class Owner, class Tuple>
inline constexpr bool kOwnedBy = false;
template <class Owner, class... F>
inline constexpr bool kOwnedBy<Owner, std::tuple<F...>> = (std::is_same_v<typename F::OwnerType, Owner> && ...);

} // namespace ovfield
