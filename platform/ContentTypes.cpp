#include "platform/ContentTypes.h"

#include <gio/gio.h>

#include <mutex>
#include <unordered_map>

namespace ov {

namespace {

// Large selections repeat few names; the cap keeps a long-lived file manager from growing.
constexpr std::size_t kCacheLimit = 1u << 16;

struct NameCache {
    std::mutex mutex;
    std::unordered_map<std::string, GuessedContentType> entries;
};

NameCache& nameCache()
{
    static NameCache* cache = new NameCache();
    return *cache;
}

} // namespace

GuessedContentType contentTypeForFileName(std::string_view name)
{
    std::string key(name);
    NameCache& cache = nameCache();
    {
        std::lock_guard lock(cache.mutex);
        auto it = cache.entries.find(key);
        if (it != cache.entries.end())
            return it->second;
    }

    GuessedContentType result;
    // A name with an embedded NUL cannot be a file name; GLib would read only up to it.
    if (key.find('\0') == std::string::npos) {
        gboolean uncertain = TRUE;
        gchar* type = g_content_type_guess(key.c_str(), nullptr, 0, &uncertain);
        if (type && *type) {
            result.type = type;
            result.uncertain = uncertain;
        }
        g_free(type);
    }
    if (result.type.empty()) {
        result.type = "application/octet-stream";
        result.uncertain = true;
    }

    std::lock_guard lock(cache.mutex);
    if (cache.entries.size() >= kCacheLimit)
        cache.entries.clear();
    cache.entries.emplace(std::move(key), result);
    return result;
}

bool contentTypeConformsTo(const std::string& type, const std::string& supertype)
{
    if (type.find('\0') != std::string::npos || supertype.find('\0') != std::string::npos)
        return false;
    return g_content_type_is_a(type.c_str(), supertype.c_str());
}

} // namespace ov
