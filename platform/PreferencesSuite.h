// SPDX-License-Identifier: GPL-3.0-or-later
// A preferences suite shared by processes: a property-list file in the user's configuration
// folder, read through on every get, written key by key under an advisory lock.
#pragma once

#include "platform/OVValue.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

class HLPreferencesSuite {
public:
    using Dictionary = OVValue::Dictionary;
    // How the file's bytes map to the stored dictionary; read answers none for bytes it rejects.
    struct Format {
        std::function<std::optional<Dictionary>(std::string_view)> read;
        std::function<std::string(const Dictionary&)> write;
    };

    // An empty suite name opens the application's own domain.
    HLPreferencesSuite(const std::string& suiteName, Format format);

    // $XDG_CONFIG_HOME/<suite>.plist, resolved on each call.
    std::string path() const;

    // Values that apply while a key has never been written; kept in memory only.
    void registerDefaults(const Dictionary& defaults);

    // The stored value, else the registered default, else none. A file that cannot be read or
    // parsed reads as empty.
    std::optional<OVValue> objectForKey(const std::string& key) const;
    bool boolForKey(const std::string& key) const;

    // Writes one key (none removes it) through to the file, keeping every other key, including
    // those another process wrote meanwhile. A file that could not be parsed is replaced.
    bool setObjectForKey(const std::string& key, const std::optional<OVValue>& value);

    // Every write already reached the file: nothing is left to flush.
    bool synchronize();

private:
    const Dictionary& contents() const;

    std::string suiteName_;
    Format format_;
    Dictionary registered_;
    // The last file read, so an unchanged file is not parsed again.
    mutable std::string cachedPath_;
    mutable std::optional<std::string> cachedBytes_;
    mutable Dictionary cached_;
};
