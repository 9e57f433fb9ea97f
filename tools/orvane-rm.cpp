// SPDX-License-Identifier: GPL-3.0-or-later
// orvane-rm: removes files and folders with the options of the BSD remove tool that secure delete
// uses. It never follows a symbolic link, and with -P overwrites every regular file once, flushed
// to disk, before unlinking it.
#include "tools/RemoveTree.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kUsageError = 64; // EX_USAGE, as the BSD tool

const char* kUsage =
    "usage: orvane-rm [-f] [-P] [-r | -R] [-v] [--] file ...\n";

const char* kHelp =
    "Removes the named files and folders.\n"
    "\n"
    "  -f       no error and no message for files that do not exist\n"
    "  -r, -R   remove folders and everything in them\n"
    "  -P       overwrite every regular file once with random data and flush it to disk before\n"
    "           unlinking it; a file with other hard links is not overwritten (this is said on\n"
    "           standard error) and only this name is removed\n"
    "  -v       print each item as it is removed\n"
    "  --help   show this text\n"
    "\n"
    "Symbolic links are never followed: a link is removed and its target is left alone.\n"
    "Overwriting cannot reach copies that a copy-on-write file system, an SSD's remapping,\n"
    "snapshots or backups keep elsewhere.\n"
    "Exit status: 0 when everything was removed, 1 after any failure, 64 for a wrong command line.\n";

} // namespace

int main(int argc, char** argv)
{
    ovtool::RemoveOptions options;
    int i = 1;
    for (; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0) {
            ++i;
            break;
        }
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (arg[0] != '-' || arg[1] == '\0')
            break;
        for (const char* c = arg + 1; *c; ++c) {
            switch (*c) {
            case 'f': options.force = true; break;
            case 'r':
            case 'R': options.recursive = true; break;
            case 'P': options.overwrite = true; break;
            case 'v': options.verbose = true; break;
            default:
                std::fprintf(stderr, "orvane-rm: illegal option -- %c\n%s", *c, kUsage);
                return kUsageError;
            }
        }
    }
    if (i == argc) {
        if (options.force)
            return 0;
        std::fputs(kUsage, stderr);
        return kUsageError;
    }

    ovtool::raiseOpenFileLimit();
    ovtool::TreeRemover remover("orvane-rm", options);
    bool ok = true;
    for (; i < argc; ++i)
        ok = remover.removeOperand(argv[i]) && ok;
    if (std::fflush(stdout) != 0)
        ok = false;
    return ok && !remover.reportedProblems() ? 0 : 1;
}
