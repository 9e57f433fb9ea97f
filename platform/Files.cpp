// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Files.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ov {

std::string pathByAppending(const std::string& folder, const std::string& component)
{
    if (folder.empty())
        return component;
    if (component.empty())
        return folder;
    if (folder.back() == '/')
        return folder + (component.front() == '/' ? component.substr(1) : component);
    return folder + (component.front() == '/' ? "" : "/") + component;
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string lastPathComponent(const std::string& path)
{
    std::string p = withoutTrailingSlashes(path);
    auto slash = p.rfind('/');
    if (slash == std::string::npos || p == "/")
        return p;
    return p.substr(slash + 1);
}

std::string deletingLastPathComponent(const std::string& path)
{
    std::string p = withoutTrailingSlashes(path);
    auto slash = p.rfind('/');
    if (slash == std::string::npos)
        return "";
    if (slash == 0)
        return "/";
    return p.substr(0, slash);
}

bool pathExists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isRegularFile(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool makeDirectories(const std::string& path, unsigned mode) { return g_mkdir_with_parents(path.c_str(), int(mode)) == 0; }

std::optional<std::string> readFile(const std::string& path, std::size_t maxBytes, bool followLinks)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0)
        return std::nullopt;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || std::size_t(st.st_size) > maxBytes) {
        ::close(fd);
        return std::nullopt;
    }
    std::string data;
    data.reserve(std::size_t(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        if (data.size() + std::size_t(n) > maxBytes) {
            ::close(fd);
            return std::nullopt;
        }
        data.append(buf, std::size_t(n));
    }
    ::close(fd);
    return data;
}

namespace {
bool writeAll(int fd, std::string_view data)
{
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= std::size_t(n);
    }
    return true;
}

void setError(std::string* error, const std::string& what)
{
    if (error)
        *error = what + ": " + std::strerror(errno);
}
} // namespace

bool writeFileAtomically(const std::string& path, std::string_view data, unsigned mode, std::string* error, bool durable)
{
    std::string folder = deletingLastPathComponent(path);
    if (folder.empty())
        folder = ".";
    std::string tmpl = pathByAppending(folder, "." + lastPathComponent(path) + ".XXXXXX");
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = g_mkstemp_full(name.data(), O_RDWR | O_CLOEXEC, int(mode));
    if (fd < 0) {
        setError(error, "cannot create a temporary file in " + folder);
        return false;
    }
    bool ok = writeAll(fd, data);
    if (!ok)
        setError(error, "cannot write " + std::string(name.data()));
    if (ok && ::fchmod(fd, mode) != 0) {
        // The umask may have narrowed the mode; a failure here is not worth losing the data.
    }
    if (ok && durable && ::fsync(fd) != 0) {
        setError(error, "cannot flush " + std::string(name.data()));
        ok = false;
    }
    ::close(fd);
    if (ok && ::rename(name.data(), path.c_str()) != 0) {
        setError(error, "cannot rename over " + path);
        ok = false;
    }
    if (!ok) {
        ::unlink(name.data());
        return false;
    }
    if (!durable)
        return true;
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

bool createNewFile(const std::string& path, std::string_view data, unsigned mode, std::string* error)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0) {
        setError(error, "cannot create " + path);
        return false;
    }
    bool ok = writeAll(fd, data) && ::fsync(fd) == 0;
    if (!ok)
        setError(error, "cannot write " + path);
    ::close(fd);
    if (!ok)
        ::unlink(path.c_str());
    return ok;
}

std::string newUUIDString()
{
    char* s = g_uuid_string_random();
    std::string out = s;
    g_free(s);
    for (auto& c : out)
        c = char(g_ascii_toupper(c));
    return out;
}

bool isCanonicalUUIDString(std::string_view s)
{
    if (s.size() != 36)
        return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-')
                return false;
        } else if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

} // namespace ov
