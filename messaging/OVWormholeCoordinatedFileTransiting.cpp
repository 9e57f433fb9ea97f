// SPDX-License-Identifier: GPL-3.0-or-later
#include "messaging/OVWormholeCoordinatedFileTransiting.h"

#include "platform/FileLock.h"
#include "platform/Files.h"

// The lock is taken on the message folder rather than on the file: the file is replaced by
// rename on every write, so a lock on it would guard an inode nobody opens again.

bool OVWormholeCoordinatedFileTransiting::writeMessageData(const std::string& path, const std::string& data)
{
    ov::FileLock lock(ov::deletingLastPathComponent(path), ov::FileLock::Mode::Exclusive);
    return OVWormholeFileTransiting::writeMessageData(path, data);
}

std::optional<std::string> OVWormholeCoordinatedFileTransiting::readMessageData(const std::string& path)
{
    ov::FileLock lock(ov::deletingLastPathComponent(path), ov::FileLock::Mode::Shared);
    return OVWormholeFileTransiting::readMessageData(path);
}
