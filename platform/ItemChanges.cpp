// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ItemChanges.h"

#include "platform/FileSteps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ov {

using namespace filesteps;

MoveResult createEmptyFile(const std::string& path)
{
    MoveResult result;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        int err = errno;
        result.outcome = err == EEXIST ? FileOutcome::DestinationExists : FileOutcome::Failed;
        result.error = {err, std::strerror(err)};
        return result;
    }
    ::close(fd);
    result.outcome = FileOutcome::Done;
    return result;
}

bool removeEmptyFile(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0)
        return false;
    return ::unlink(path.c_str()) == 0;
}

bool touchItem(const std::string& path) { return ::utimensat(AT_FDCWD, path.c_str(), nullptr, AT_SYMLINK_NOFOLLOW) == 0; }

bool removeItem(const std::string& path, FileError* error) { return removeAt(AT_FDCWD, path.c_str(), path, false, error); }

bool isWritableFolder(const std::string& path) { return ::access(path.c_str(), W_OK | X_OK) == 0; }

} // namespace ov
