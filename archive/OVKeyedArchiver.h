// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the keyed-archive form of objects and values: a binary property list with "$archiver",
// "$version", "$top" and "$objects", each object under its class name.
#pragma once

#include "archive/OVArchivable.h"
#include "archive/OVOpaqueValue.h"
#include "platform/OVValue.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class OVKeyedArchiver {
public:
    OVKeyedArchiver();
    ~OVKeyedArchiver();
    OVKeyedArchiver(const OVKeyedArchiver&) = delete;
    OVKeyedArchiver& operator=(const OVKeyedArchiver&) = delete;

    // Used by encodeWithCoder of the objects; absent values are left out.
    void encodeBool(const char* key, bool value);
    void encodeInteger(const char* key, int64_t value);
    void encodeString(const char* key, const std::optional<std::string>& value);
    void encodeStringList(const char* key, const std::optional<std::vector<std::string>>& value);
    void encodeURL(const char* key, const std::optional<std::string>& filePath);
    void encodeData(const char* key, std::string_view bytes);
    // A list of objects; null entries are left out, an object met again is stored once.
    void encodeObjects(const char* key, std::span<const OVArchivable* const> objects);
    // A member kept as read (OVKeyedUnarchiver::decodeObjectAsRead), with what it refers to.
    void encodeAsRead(const std::string& key, const OVOpaqueValue& value);

    // Whole archives, as bytes of a binary property list.
    static std::string archivedDataWithRootObjects(std::span<const OVArchivable* const> objects);
    static std::string archivedDataWithRootValue(const OVValue& value);

    // "file://" and the path with every byte outside the unreserved and path characters
    // percent-encoded; a relative path gives a relative reference.
    static std::string fileURLStringWithPath(const std::string& path);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
    friend struct Impl;
};
