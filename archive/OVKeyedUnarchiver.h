// SPDX-License-Identifier: GPL-3.0-or-later
// Reads keyed archives. Every byte is treated as hostile: cycles, dangling references, wrong
// types, absurd depth and sizes make the whole archive corrupt; nothing here crashes or throws out.
#pragma once

#include "archive/OVArchivable.h"
#include "archive/OVOpaqueValue.h"
#include "platform/OVValue.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class OVKeyedUnarchiver {
public:
    // The root list of objects, made by classes. An archive whose root is not a list gives an
    // empty list; a corrupt archive gives none and *error says why. An object of a class that
    // classes cannot make corrupts the archive: dropping it would erase it at the next save.
    static std::optional<OVArchivableList> unarchiveObjects(std::string_view data, const OVArchiveClassFactory& classes,
                                                            std::string* error = nullptr);
    // The root object of a message archive; none (and *error) when corrupt.
    static std::optional<OVValue> unarchiveValue(std::string_view data, std::string* error = nullptr);

    // Used by initWithCoder of the objects. A missing key or a value of another type reads as
    // false or absent.
    bool decodeBool(const char* key);
    // An integer member; none for a missing key or another type. Values past int64_t wrap.
    std::optional<int64_t> decodeInteger(const char* key);
    std::optional<std::string> decodeString(const char* key);
    std::optional<std::vector<std::string>> decodeStringList(const char* key);
    std::optional<std::string> decodeURL(const char* key); // a file path
    std::optional<std::string> decodeData(const char* key);
    OVArchivableList decodeObjects(const char* key);
    // The object being read as it stands in the archive: its class, every member and everything
    // they refer to. Values a keyed archive never holds (dates, nulls) and dictionaries with a key
    // twice corrupt the archive, as they could not be written back as read.
    OVOpaqueValue decodeObjectAsRead();

    // The local path of a file URL, or of a reference without scheme resolved against base;
    // none for other schemes, remote hosts, bad escapes and NUL bytes (ov::uri::filePath).
    static std::optional<std::string> filePathFromURLString(std::string_view url, std::string_view base = {});

    // Objects (lists, URLs and the objects of classes) nest at most this deep; the archiver leaves
    // out deeper ones.
    static constexpr int kMaxObjectDepth = 64;

    struct Impl;
    // Reads the members of one archived object (a property-list dictionary of impl's archive).
    OVKeyedUnarchiver(Impl& impl, const void* object);

private:
    Impl& impl_;
    const void* object_;
};
