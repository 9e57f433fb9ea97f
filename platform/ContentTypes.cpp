// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ContentTypes.h"

#include <gio/gio.h>

#include <mutex>
#include <unordered_map>
#include <unordered_set>

namespace ov {

namespace {

// Large selections repeat few names; the cap keeps a long-lived file manager from growing.
constexpr std::size_t kCacheLimit = 1u << 16;

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

struct TypeCache {
    std::mutex mutex;
    // Types are few (those of the MIME database) and never dropped, so their addresses stay valid.
    std::unordered_set<std::string, StringHash, std::equal_to<>> types;
    std::unordered_map<std::string, GuessedContentType, StringHash, std::equal_to<>> names;

    const std::string* intern(std::string_view type)
    {
        auto it = types.find(type);
        if (it == types.end())
            it = types.emplace(type).first;
        return &*it;
    }
};

TypeCache& typeCache()
{
    static TypeCache* cache = new TypeCache();
    return *cache;
}

} // namespace

const std::string* internedContentType(std::string_view type)
{
    TypeCache& cache = typeCache();
    std::lock_guard lock(cache.mutex);
    return cache.intern(type);
}

GuessedContentType contentTypeForFileName(std::string_view name)
{
    TypeCache& cache = typeCache();
    {
        std::lock_guard lock(cache.mutex);
        auto it = cache.names.find(name);
        if (it != cache.names.end())
            return it->second;
    }

    std::string guessed = "application/octet-stream";
    bool uncertain = true;
    // A name with an embedded NUL cannot be a file name; GLib would read only up to it.
    if (name.find('\0') == std::string_view::npos) {
        const std::string key(name);
        gboolean unsure = TRUE;
        gchar* type = g_content_type_guess(key.c_str(), nullptr, 0, &unsure);
        if (type && *type) {
            guessed = type;
            uncertain = unsure;
        }
        g_free(type);
    }

    std::lock_guard lock(cache.mutex);
    GuessedContentType result{cache.intern(guessed), uncertain};
    if (cache.names.size() >= kCacheLimit)
        cache.names.clear();
    cache.names.emplace(std::string(name), result);
    return result;
}

bool contentTypeConformsTo(const std::string& type, const std::string& supertype)
{
    if (type.find('\0') != std::string::npos || supertype.find('\0') != std::string::npos)
        return false;
    return g_content_type_is_a(type.c_str(), supertype.c_str());
}

} // namespace ov
