// SPDX-License-Identifier: GPL-3.0-or-later
// An item made before it is filled, named by path and identity.
#pragma once

#include <sys/types.h>

#include <string>

namespace ov {

// An item made before it is filled: the top item of a copy (a file or folder that is still empty
// and private to the owner, or the finished link), or an empty file that holds a name.
struct ReservedCopy {
    std::string source; // empty for a reserved name
    std::string path;
    mode_t kind = 0; // the S_IFMT bits of the source
    dev_t dev = 0;
    ino_t ino = 0;
};

} // namespace ov
