// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/OVWorkJournal.h"

#include "platform/Files.h"
#include "platform/Leftovers.h"
#include "platform/Log.h"
#include "platform/ProductPaths.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace {

bool isAbsolutePath(const std::string& path)
{
    return !path.empty() && path.front() == '/' && path.find('\0') == std::string::npos;
}

} // namespace

std::string OVWorkJournal::defaultPath() { return ov::pathByAppending(ov::containerPath(), "RunnerWork.json"); }

OVWorkJournal::Entries OVWorkJournal::read()
{
    Entries entries;
    auto data = ov::readFile(defaultPath(), kMaxFileSize, false);
    if (!data)
        return entries;
    nlohmann::json json = nlohmann::json::parse(*data, nullptr, false);
    if (!json.is_object())
        return entries;
    // Written by us, but read like anything else on disk: only well-formed entries count.
    if (auto it = json.find("folders"); it != json.end() && it->is_array()) {
        for (const auto& folder : *it) {
            if (entries.folders.size() >= kMaxEntries)
                break;
            if (folder.is_string() && isAbsolutePath(folder.get<std::string>()))
                entries.folders.push_back(folder.get<std::string>());
        }
    }
    if (auto it = json.find("heldNames"); it != json.end() && it->is_array()) {
        for (const auto& held : *it) {
            if (entries.heldNames.size() >= kMaxEntries)
                break;
            if (!held.is_object())
                continue;
            auto path = held.find("path");
            auto dev = held.find("dev");
            auto ino = held.find("ino");
            if (path == held.end() || dev == held.end() || ino == held.end() || !path->is_string()
                || !dev->is_number_unsigned() || !ino->is_number_unsigned()
                || !isAbsolutePath(path->get<std::string>()))
                continue;
            entries.heldNames.push_back({path->get<std::string>(), dev_t(dev->get<std::uint64_t>()),
                                         ino_t(ino->get<std::uint64_t>())});
        }
    }
    return entries;
}

void OVWorkJournal::write(const Entries& entries)
{
    nlohmann::json json = nlohmann::json::object();
    json["folders"] = nlohmann::json::array();
    for (const auto& folder : entries.folders)
        json["folders"].push_back(folder);
    json["heldNames"] = nlohmann::json::array();
    for (const auto& held : entries.heldNames)
        json["heldNames"].push_back(
            {{"path", held.path}, {"dev", std::uint64_t(held.dev)}, {"ino", std::uint64_t(held.ino)}});
    std::string error;
    const std::string path = defaultPath();
    if (entries.folders.empty() && entries.heldNames.empty()) {
        if (ov::pathExists(path) && !ov::writeFileAtomically(path, json.dump(), 0600, &error))
            ov::ovLog("Could not write %s: %s", path.c_str(), error.c_str());
        return;
    }
    if (!ov::writeFileAtomically(path, json.dump(), 0600, &error))
        ov::ovLog("Could not write %s: %s", path.c_str(), error.c_str());
}

void OVWorkJournal::noteFolder(const std::string& folder)
{
    if (!isAbsolutePath(folder))
        return;
    Entries entries = read();
    if (std::find(entries.folders.begin(), entries.folders.end(), folder) != entries.folders.end())
        return;
    if (entries.folders.size() >= kMaxEntries)
        entries.folders.erase(entries.folders.begin()); // the oldest has been swept or has stayed clean longest
    entries.folders.push_back(folder);
    write(entries);
}

void OVWorkJournal::noteHeldName(const std::string& path, dev_t dev, ino_t ino)
{
    if (!isAbsolutePath(path))
        return;
    Entries entries = read();
    if (entries.heldNames.size() >= kMaxEntries)
        entries.heldNames.erase(entries.heldNames.begin());
    entries.heldNames.push_back({path, dev, ino});
    write(entries);
}

void OVWorkJournal::forgetHeldName(const std::string& path, dev_t dev, ino_t ino)
{
    Entries entries = read();
    auto before = entries.heldNames.size();
    std::erase_if(entries.heldNames,
                  [&](const HeldName& held) { return held.path == path && held.dev == dev && held.ino == ino; });
    if (entries.heldNames.size() != before)
        write(entries);
}

OVWorkJournal::Swept OVWorkJournal::sweep(const struct timespec& before)
{
    Swept swept;
    Entries entries = read();
    Entries remaining;
    // Held names first: a copy's temporary sits beside its held name, and both go.
    for (const auto& held : entries.heldNames) {
        if (ov::removeHeldName(held.path, held.dev, held.ino))
            ++swept.heldNames;
    }
    for (const auto& folder : entries.folders) {
        ov::TemporarySweep result = ov::removeOurTemporaries(folder, before);
        swept.temporaries += result.removed;
        if (result.kept > 0)
            remaining.folders.push_back(folder);
    }
    write(remaining);
    if (swept.temporaries || swept.heldNames)
        ov::ovLog("Removed %d unfinished items and %d held names left by an earlier run", swept.temporaries,
                  swept.heldNames);
    return swept;
}
