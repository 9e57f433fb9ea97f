// SPDX-License-Identifier: GPL-3.0-or-later
#include "messaging/OVWormholeFileTransiting.h"

#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"
#include "platform/Doorbell.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/ProductPaths.h"

#include <climits>
#include <filesystem>
#include <unistd.h>

namespace {
constexpr const char* kMessageSuffix = ".archive";
constexpr std::size_t kMaxMessageBytes = 16u << 20;
} // namespace

OVWormholeFileTransiting::OVWormholeFileTransiting(const std::string& applicationGroupIdentifier,
                                                   const std::optional<std::string>& directory)
    : applicationGroupIdentifier_(applicationGroupIdentifier), directory_(directory)
{
}

bool OVWormholeFileTransiting::isUsableIdentifier(const std::optional<std::string>& identifier)
{
    return identifier && ov::isValidDoorbellName(*identifier)
        && identifier->size() + std::char_traits<char>::length(kMessageSuffix) <= NAME_MAX;
}

std::string OVWormholeFileTransiting::messagePassingDirectoryPath() const
{
    std::string path = ov::containerPathForGroup(applicationGroupIdentifier_);
    if (directory_ && !directory_->empty())
        path = ov::pathByAppending(path, *directory_);
    ov::makeDirectories(path, 0700);
    return path;
}

std::optional<std::string> OVWormholeFileTransiting::filePathForIdentifier(const std::optional<std::string>& identifier) const
{
    if (!isUsableIdentifier(identifier))
        return std::nullopt;
    return ov::pathByAppending(messagePassingDirectoryPath(), *identifier + kMessageSuffix);
}

bool OVWormholeFileTransiting::writeMessageObject(const std::optional<OVValue>& message,
                                                  const std::optional<std::string>& identifier)
{
    if (!isUsableIdentifier(identifier))
        return false;
    if (!message)
        return true;
    std::string data = OVKeyedArchiver::archivedDataWithRootValue(*message);
    auto path = filePathForIdentifier(identifier);
    if (data.empty() || !path)
        return false;
    return writeMessageData(*path, data);
}

std::optional<OVValue> OVWormholeFileTransiting::messageObjectForIdentifier(const std::optional<std::string>& identifier)
{
    auto path = filePathForIdentifier(identifier);
    if (!path || !ov::pathExists(*path))
        return std::nullopt;
    auto data = readMessageData(*path);
    if (!data)
        return std::nullopt;
    std::string error;
    auto value = OVKeyedUnarchiver::unarchiveValue(*data, &error);
    if (!value)
        ov::ovLog("Could not read message %s: %s", identifier->c_str(), error.c_str());
    return value;
}

void OVWormholeFileTransiting::deleteContentForIdentifier(const std::optional<std::string>& identifier)
{
    if (auto path = filePathForIdentifier(identifier))
        ::unlink(path->c_str());
}

void OVWormholeFileTransiting::deleteContentForAllMessages()
{
    if (!directory_ || directory_->empty())
        return;
    namespace fs = std::filesystem;
    std::error_code ec;
    for (fs::directory_iterator it(messagePassingDirectoryPath(), ec), end; !ec && it != end; it.increment(ec)) {
        // The doorbells are how other processes are woken, not message content.
        if (it->path().filename() == ov::kDoorbellFolderName)
            continue;
        std::error_code ignored;
        fs::remove_all(it->path(), ignored);
    }
}

bool OVWormholeFileTransiting::writeMessageData(const std::string& path, const std::string& data)
{
    std::string error;
    if (!ov::writeFileAtomically(path, data, 0600, &error)) {
        ov::ovLog("Could not write message: %s", error.c_str());
        return false;
    }
    return true;
}

std::optional<std::string> OVWormholeFileTransiting::readMessageData(const std::string& path)
{
    return ov::readFile(path, kMaxMessageBytes);
}
