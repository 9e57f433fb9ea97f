// SPDX-License-Identifier: GPL-3.0-or-later
// Removal of items that never follows a symbolic link: every item is reached by name through the
// folder that holds it, so a link met anywhere is removed itself and its target is left alone.
#pragma once

#include <string>

struct stat;

namespace ovtool {

struct RemoveOptions {
    bool recursive = false; // folders and everything in them
    bool force = false;     // a missing item is no error
    bool overwrite = false; // regular files are overwritten once, flushed, before they are unlinked
    bool verbose = false;   // one line per removed item on standard output
};

class TreeRemover {
public:
    TreeRemover(std::string programName, RemoveOptions options);

    // Removes the item a command-line operand names. Every failure is reported on standard error.
    bool removeOperand(std::string path);
    // Removes everything inside the folder open at dirfd (the folder stays); shownPath names it
    // in messages.
    bool removeContents(int dirfd, const std::string& shownPath);
    // Whether anything was reported on standard error so far.
    bool reportedProblems() const { return reported_; }

private:
    bool removeEntry(int dirfd, const std::string& name, const std::string& shownPath);
    bool removeFolder(int parentfd, const std::string& name, const struct stat& st, const std::string& shownPath);
    // 1 overwritten, 0 failed (reported; keep the file), -1 not overwritten but may be unlinked.
    int overwriteFile(int dirfd, const std::string& name, const struct stat& st, const std::string& shownPath);
    void report(const std::string& path, const std::string& message);
    void reportErrno(const std::string& path, int err);
    void removed(const std::string& shownPath);

    std::string program_;
    RemoveOptions options_;
    bool reported_ = false;
};

// Raises the soft limit of open files to the hard one: a deep tree holds one folder open per level.
void raiseOpenFileLimit();

} // namespace ovtool
