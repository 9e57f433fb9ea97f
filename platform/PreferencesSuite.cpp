// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PreferencesSuite.h"

#include "platform/FileLock.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/ProductPaths.h"
#include "platform/UserFolders.h"


namespace {
// Far beyond any real preferences file; anything larger is not ours.
constexpr std::size_t kMaxPreferencesBytes = 4u << 20;
} // namespace

HLPreferencesSuite::HLPreferencesSuite(const std::string& suiteName, Format format)
    : suiteName_(suiteName), format_(std::move(format))
{
}

std::string HLPreferencesSuite::path() const
{
    return ov::pathByAppending(ov::userConfigDir(), (suiteName_.empty() ? std::string(ov::kAppId) : suiteName_) + ".plist");
}

void HLPreferencesSuite::registerDefaults(const Dictionary& defaults)
{
    for (const auto& [key, value] : defaults)
        registered_[key] = value;
}

const HLPreferencesSuite::Dictionary& HLPreferencesSuite::contents() const
{
    const std::string file = path();
    auto data = ov::readFile(file, kMaxPreferencesBytes);
    if (cachedPath_ == file && cachedBytes_ == data)
        return cached_;
    cachedPath_ = file;
    cachedBytes_ = data;
    cached_.clear();
    if (!data)
        return cached_;
    std::optional<Dictionary> parsed;
    try {
        parsed = format_.read(*data);
    } catch (...) {
        parsed.reset();
    }
    if (parsed)
        cached_ = std::move(*parsed);
    else
        ov::ovLog("Could not read preferences %s", file.c_str());
    return cached_;
}

std::optional<OVValue> HLPreferencesSuite::objectForKey(const std::string& key) const
{
    const Dictionary& stored = contents();
    if (auto it = stored.find(key); it != stored.end())
        return it->second;
    if (auto it = registered_.find(key); it != registered_.end())
        return it->second;
    return std::nullopt;
}

bool HLPreferencesSuite::boolForKey(const std::string& key) const
{
    auto value = objectForKey(key);
    return value && OVBoolValue(*value);
}

bool HLPreferencesSuite::setObjectForKey(const std::string& key, const std::optional<OVValue>& value)
{
    const std::string file = path();
    ov::makeDirectories(ov::deletingLastPathComponent(file), 0700);
    // Read, change and replace under one lock, so writers in other processes never drop each
    // other's keys. The file itself is replaced by rename, so the lock lives beside it.
    ov::FileLock lock(file + ".lock", ov::FileLock::Mode::Exclusive);
    if (!lock.locked())
        ov::ovLog("Could not lock preferences %s", file.c_str());
    Dictionary updated = contents();
    if (value)
        updated[key] = *value;
    else
        updated.erase(key);
    std::string bytes;
    try {
        bytes = format_.write(updated);
    } catch (...) {
        bytes.clear();
    }
    std::string error;
    if (bytes.empty() || !ov::writeFileAtomically(file, bytes, 0600, &error)) {
        ov::ovLog("Could not write preferences %s: %s", file.c_str(), bytes.empty() ? "nothing to write" : error.c_str());
        return false;
    }
    cachedPath_ = file;
    cachedBytes_ = std::move(bytes);
    cached_ = std::move(updated);
    return true;
}

bool HLPreferencesSuite::synchronize() { return true; }
