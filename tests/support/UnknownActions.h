// SPDX-License-Identifier: GPL-3.0-or-later
// Actions of a kind this version does not know, as a newer version would store them: a known
// kind archived and then renamed in the archive's bytes, its class chain still ending in OVAction.
#pragma once

#include "model/OVActionArchive.h"
#include "model/OVCompressPasswordAction.h"

#include <gtest/gtest.h>

#include <string>

namespace ovtest {

// Same length as the kind it replaces, so the binary archive stays well-formed.
inline constexpr const char* kFutureKind = "OVCompressPasswordFuture";

inline std::string renamedKind(std::string bytes, const std::string& from = OVCompressPasswordAction::kClassName,
                               const std::string& to = kFutureKind)
{
    for (auto at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + to.size()))
        bytes.replace(at, from.size(), to);
    return bytes;
}

// An action of the future kind, read from an archive, with the given title and stored flag.
inline OVActionPtr unknownAction(const std::string& title, bool enabled = true)
{
    auto known = OVAction::action<OVCompressPasswordAction>();
    known->setTitle(title);
    known->setEnabled(enabled);
    auto read = OVActionArchive::unarchiveActions(renamedKind(OVActionArchive::archivedDataWithRootActions({known})));
    EXPECT_TRUE(read && read->size() == 1);
    return read && read->size() == 1 ? read->front() : nullptr;
}

} // namespace ovtest
