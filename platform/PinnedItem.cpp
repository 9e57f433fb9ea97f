// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PinnedItem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ov {

std::unique_ptr<PinnedItem> PinnedItem::pin(const std::string& path, std::string* error)
{
    auto refuse = [error](const std::string& why) {
        if (error)
            *error = why;
        return std::unique_ptr<PinnedItem>();
    };
    if (path.empty() || path.front() != '/')
        return refuse("not an absolute path");
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    if (trimmed == "/")
        return refuse("the root folder");
    for (std::string::size_type start = 0; start < trimmed.size();) {
        auto slash = trimmed.find('/', start);
        if (slash == std::string::npos)
            slash = trimmed.size();
        std::string component = trimmed.substr(start, slash - start);
        if (component == "." || component == "..")
            return refuse("a path with \".\" or \"..\" in it");
        start = slash + 1;
    }
    auto slash = trimmed.rfind('/');
    std::string parent = slash == 0 ? "/" : trimmed.substr(0, slash);

    std::unique_ptr<PinnedItem> item(new PinnedItem());
    item->path_ = path;
    item->name_ = trimmed.substr(slash + 1);
    item->folder_ = ::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (item->folder_ < 0)
        return refuse(std::strerror(errno));
    if (auto identity = item->identity())
        item->identity_ = *identity;
    else if (errno != ENOENT)
        return refuse(std::strerror(errno));
    return item;
}

std::optional<PinnedItem::Identity> PinnedItem::identity() const
{
    struct statx st;
    if (::statx(folder_, name_.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_INO | STATX_BTIME, &st) != 0)
        return std::nullopt;
    // Inode numbers are handed out again once freed: the kind of item and its birth time tell
    // a new item at a reused number from the old one.
    Identity id;
    id.device = (static_cast<unsigned long long>(st.stx_dev_major) << 32) | st.stx_dev_minor;
    id.inode = st.stx_ino;
    id.type = st.stx_mode & S_IFMT;
    if (st.stx_mask & STATX_BTIME)
        id.birth = static_cast<long long>(st.stx_btime.tv_sec) * 1000000000LL + st.stx_btime.tv_nsec;
    return id;
}

PinnedItem::~PinnedItem()
{
    if (folder_ >= 0)
        ::close(folder_);
}

std::string PinnedItem::pathForChildProcess() const
{
    // The descriptor's entry in /proc leads to the folder itself, not to whatever its path
    // names by now.
    return "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(folder_) + "/" + name_;
}

bool PinnedItem::unchanged() const
{
    auto now = identity();
    if (!now)
        return !identity_ && errno == ENOENT;
    return identity_ && *identity_ == *now;
}

} // namespace ov
