// SPDX-License-Identifier: GPL-3.0-or-later
// What an archive step did: ok, or why not.
#pragma once

#include <string>

enum class ZipStatus {
    Ok,
    NotRegularFile,    // a folder, FIFO, device or socket: skipped without being opened
    NameTaken,         // another entry has the name or uses it as a folder (see availableEntryName)
    DestinationExists, // something is at the archive's path; nothing there was touched
    IsOwnArchive,      // the writer's own unfinished archive, met inside a folder being added
    Cancelled,
    Failed,
};

struct [[nodiscard]] ZipResult {
    ZipStatus status = ZipStatus::Ok;
    std::string error; // what went wrong, naming the file; empty when ok

    bool ok() const { return status == ZipStatus::Ok; }
};
