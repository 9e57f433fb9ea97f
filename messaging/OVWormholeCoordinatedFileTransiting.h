// SPDX-License-Identifier: GPL-3.0-or-later
// File messages written and read under an advisory lock on the message folder, so a reader in
// another process never interleaves with a writer's replacement.
#pragma once

#include "messaging/OVWormholeFileTransiting.h"

class OVWormholeCoordinatedFileTransiting : public OVWormholeFileTransiting {
public:
    using OVWormholeFileTransiting::OVWormholeFileTransiting;

    // Extra write options; the write is atomic whatever they are. No extra options exist here,
    // the value is kept for callers that set it.
    unsigned additionalFileWritingOptions() const { return additionalFileWritingOptions_; }
    void setAdditionalFileWritingOptions(unsigned options) { additionalFileWritingOptions_ = options; }

protected:
    bool writeMessageData(const std::string& path, const std::string& data) override;
    std::optional<std::string> readMessageData(const std::string& path) override;

private:
    unsigned additionalFileWritingOptions_ = 0;
};
