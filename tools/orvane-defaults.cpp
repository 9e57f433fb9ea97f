// orvane-defaults: "delete ID" resets the settings of the application whose desktop-file id is
// ID: every GSettings schema whose id is ID or starts with ID + "." (recursively, relocatable ones
// under the application's path) and, for a Flatpak application, its ~/.var/app/ID/config.
#include "tools/RemoveTree.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#ifdef ORVANE_HAVE_DCONF
#include <dconf.h>
#endif

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kUsageError = 64;
const char* kUsage = "usage: orvane-defaults delete APPLICATION-ID\n";

void printHelp()
{
    std::fputs(kUsage, stdout);
    std::fputs("Resets the settings of the installed application whose desktop-file id is APPLICATION-ID\n"
               "(its .desktop file name without \".desktop\"): every GSettings schema whose id is the\n"
               "application id or starts with it and a dot, with its child schemas and, for relocatable\n"
               "schemas, every copy below the application's settings path; for a Flatpak application\n"
               "also everything in ~/.var/app/APPLICATION-ID/config.\n"
               "Only ids of installed applications are accepted, and an id of fewer than three parts\n"
               "(such as \"org.gnome\", a vendor's prefix) only ever matches the schema of that very id.\n"
               "When nothing belongs to the id, \"Domain (ID) not found.\" goes to standard error and the\n"
               "exit status is 1.\n",
               stdout);
}

bool isValidId(const std::string& id)
{
    if (id.empty() || id.size() > 255 || id.front() == '.' || id.back() == '.' || id.front() == '-')
        return false;
    char previous = 0;
    for (char c : id) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!ok || (c == '.' && previous == '.'))
            return false;
        previous = c;
    }
    return true;
}

size_t componentCount(const std::string& id) { return size_t(std::count(id.begin(), id.end(), '.')) + 1; }

bool startsWithComponent(const std::string& candidate, const std::string& prefix)
{
    return candidate.size() > prefix.size() && candidate.compare(0, prefix.size(), prefix) == 0 && candidate[prefix.size()] == '.';
}

// Ids of the other installed applications that lie inside this one's namespace: their schemas are
// theirs, not this application's.
std::vector<std::string> nestedApplicationIds(const std::string& id)
{
    std::vector<std::string> nested;
    GList* all = g_app_info_get_all();
    for (GList* l = all; l; l = l->next) {
        const char* desktopId = g_app_info_get_id(G_APP_INFO(l->data));
        if (!desktopId)
            continue;
        std::string other = desktopId;
        if (other.size() > 8 && other.compare(other.size() - 8, 8, ".desktop") == 0)
            other.resize(other.size() - 8);
        if (startsWithComponent(other, id))
            nested.push_back(other);
    }
    g_list_free_full(all, g_object_unref);
    return nested;
}

class Resetter {
public:
    Resetter(std::string id, GSettingsSchemaSource* source) : id_(std::move(id)), source_(source)
    {
        prefixMatches_ = componentCount(id_) >= 3;
        nested_ = nestedApplicationIds(id_);
    }

    bool belongs(const std::string& schemaId) const
    {
        if (schemaId == id_)
            return true;
        if (!prefixMatches_ || !startsWithComponent(schemaId, id_))
            return false;
        for (const auto& other : nested_)
            if (schemaId == other || startsWithComponent(schemaId, other))
                return false;
        return true;
    }

    // Answers how many schemas were reset.
    int resetAll()
    {
        gchar** fixed = nullptr;
        gchar** relocatable = nullptr;
        g_settings_schema_source_list_schemas(source_, TRUE, &fixed, &relocatable);
        int count = 0;
        std::string applicationPath = defaultApplicationPath();
        for (gchar** s = fixed; s && *s; ++s) {
            if (!belongs(*s))
                continue;
            GSettingsSchema* schema = g_settings_schema_source_lookup(source_, *s, TRUE);
            if (!schema)
                continue;
            if (id_ == *s && g_settings_schema_get_path(schema))
                applicationPath = g_settings_schema_get_path(schema);
            GSettings* settings = g_settings_new_full(schema, nullptr, nullptr);
            resetRecursively(settings);
            g_object_unref(settings);
            g_settings_schema_unref(schema);
            ++count;
        }
        for (gchar** s = relocatable; s && *s; ++s) {
            if (!belongs(*s))
                continue;
            GSettingsSchema* schema = g_settings_schema_source_lookup(source_, *s, TRUE);
            if (!schema)
                continue;
            for (const auto& path : pathsFor(schema, applicationPath)) {
                GSettings* settings = g_settings_new_full(schema, nullptr, path.c_str());
                resetRecursively(settings);
                g_object_unref(settings);
            }
            g_settings_schema_unref(schema);
            ++count;
        }
        g_strfreev(fixed);
        g_strfreev(relocatable);
        g_settings_sync();
        return count;
    }

    bool failed() const { return failed_; }

private:
    // "/org/gnome/TextEditor/" for "org.gnome.TextEditor", as most applications lay out their paths.
    std::string defaultApplicationPath() const
    {
        std::string path = "/";
        for (char c : id_)
            path += c == '.' ? '/' : c;
        return path + "/";
    }

    void resetRecursively(GSettings* settings)
    {
        GSettingsSchema* schema = nullptr;
        g_object_get(settings, "settings-schema", &schema, nullptr);
        gchar** keys = g_settings_schema_list_keys(schema);
        for (gchar** k = keys; k && *k; ++k) {
            if (!g_settings_is_writable(settings, *k)) {
                gchar* path = nullptr;
                g_object_get(settings, "path", &path, nullptr);
                std::fprintf(stderr, "orvane-defaults: %s%s cannot be changed (locked or read-only)\n", path ? path : "", *k);
                g_free(path);
                failed_ = true;
                continue;
            }
            g_settings_reset(settings, *k);
        }
        g_strfreev(keys);
        gchar** children = g_settings_schema_list_children(schema);
        for (gchar** c = children; c && *c; ++c) {
            GSettings* child = g_settings_get_child(settings, *c);
            if (child) {
                resetRecursively(child);
                g_object_unref(child);
            }
        }
        g_strfreev(children);
        g_settings_schema_unref(schema);
    }

    // Where a relocatable schema is in use: the application's path, and every folder below it
    // that holds one of the schema's keys.
    std::vector<std::string> pathsFor(GSettingsSchema* schema, const std::string& applicationPath) const
    {
        std::vector<std::string> paths = {applicationPath};
#ifdef ORVANE_HAVE_DCONF
        std::set<std::string> keys;
        gchar** names = g_settings_schema_list_keys(schema);
        for (gchar** k = names; k && *k; ++k)
            keys.insert(*k);
        g_strfreev(names);
        DConfClient* client = dconf_client_new();
        std::vector<std::string> folders = {applicationPath};
        for (size_t i = 0; i < folders.size() && i < 10000; ++i) {
            gint length = 0;
            gchar** entries = dconf_client_list(client, folders[i].c_str(), &length);
            bool holdsKey = false;
            for (gchar** e = entries; e && *e; ++e) {
                std::string entry = *e;
                if (!entry.empty() && entry.back() == '/')
                    folders.push_back(folders[i] + entry);
                else if (keys.count(entry))
                    holdsKey = true;
            }
            g_strfreev(entries);
            if (holdsKey && i > 0)
                paths.push_back(folders[i]);
        }
        g_object_unref(client);
#else
        (void)schema;
#endif
        return paths;
    }

    std::string id_;
    GSettingsSchemaSource* source_;
    bool prefixMatches_ = false;
    std::vector<std::string> nested_;
    bool failed_ = false;
};

// Opens a folder below another one without following a link at any step.
int openFolderBelow(int fd, const std::vector<std::string>& components)
{
    int current = ::dup(fd);
    for (const auto& c : components) {
        if (current < 0)
            return -1;
        int next = ::openat(current, c.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(current);
        current = next;
    }
    return current;
}

bool isFlatpak(GDesktopAppInfo* info)
{
    return info && g_desktop_app_info_has_key(info, "X-Flatpak");
}

// Empties ~/.var/app/ID/config. Answers false when there is nothing of the application there.
bool clearFlatpakConfig(const std::string& id, bool* failed)
{
    const char* home = g_get_home_dir();
    int homefd = ::open(home, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (homefd < 0)
        return false;
    int config = openFolderBelow(homefd, {".var", "app", id, "config"});
    ::close(homefd);
    if (config < 0)
        return false;
    ovtool::TreeRemover remover("orvane-defaults", {.recursive = true, .force = true});
    std::string shown = std::string(home) + "/.var/app/" + id + "/config";
    if (!remover.removeContents(config, shown))
        *failed = true;
    ::close(config);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printHelp();
        return 0;
    }
    if (argc != 3 || std::strcmp(argv[1], "delete") != 0) {
        std::fputs(kUsage, stderr);
        return kUsageError;
    }
    const std::string id = argv[2];
    auto notFound = [&id](const char* why) {
        if (why)
            std::fprintf(stderr, "orvane-defaults: %s\n", why);
        std::fprintf(stderr, "Domain (%s) not found.\n", id.c_str());
        return 1;
    };
    if (!isValidId(id))
        return notFound("not a desktop-file id");

    GDesktopAppInfo* info = g_desktop_app_info_new((id + ".desktop").c_str());
    if (!info)
        return notFound("no installed application has this id");

    bool failed = false;
    int found = 0;
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (source) {
        Resetter resetter(id, source);
        found += resetter.resetAll();
        failed = resetter.failed();
    } else if (!isFlatpak(info)) {
        g_object_unref(info);
        return notFound("no GSettings schemas are installed (no glib-2.0/schemas/gschemas.compiled in the data "
                        "folders or GSETTINGS_SCHEMA_DIR)");
    }
    if (isFlatpak(info) && clearFlatpakConfig(id, &failed))
        ++found;
    g_object_unref(info);
    if (found == 0)
        return notFound(nullptr);
    return failed ? 1 : 0;
}
