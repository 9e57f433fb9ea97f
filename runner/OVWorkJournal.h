// SPDX-License-Identifier: GPL-3.0-or-later
// Where this runner writes and which names it holds, kept in the data folder so that the next
// start of the runner cleans up after one that was ended without warning (kill -9, a crash, a
// power cut): our hidden temporaries in those folders and held names that are still our empty
// files. Main context only; every change is written atomically before the work it covers.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>
#include <vector>

class OVWorkJournal {
public:
    struct HeldName {
        std::string path;
        dev_t dev = 0;
        ino_t ino = 0;
    };
    struct Entries {
        std::vector<std::string> folders;
        std::vector<HeldName> heldNames;
    };
    struct Swept {
        int temporaries = 0;
        int heldNames = 0;
    };

    // The journal of the data folder (read at each call: tests move the folder).
    static std::string defaultPath();

    static void noteFolder(const std::string& folder);
    static void noteHeldName(const std::string& path, dev_t dev, ino_t ino);
    static void forgetHeldName(const std::string& path, dev_t dev, ino_t ino);

    // Removes the leftovers of work that had stopped changing them before `before` and forgets
    // what is clean. A folder that still holds a newer item of ours stays noted.
    static Swept sweep(const struct timespec& before);

    // What is noted now; nothing when the journal is missing or not one we wrote.
    static Entries read();

    static constexpr std::size_t kMaxEntries = 4096;
    static constexpr std::size_t kMaxFileSize = 4u << 20;

private:
    static void write(const Entries& entries);
};
