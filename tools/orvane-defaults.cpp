// SPDX-License-Identifier: GPL-3.0-or-later
// orvane-defaults: "delete ID" resets the settings of the application whose desktop-file id is
// ID: every GSettings schema whose id is ID or starts with ID + ".", compared without regard to
// case, also under the vendor prefix with the name of the application's program (recursively,
// relocatable ones under the application's path) and, for a Flatpak application, its
// ~/.var/app/ID/config.
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
               "application id or starts with it and a dot, in any case (org.gnome.Nautilus holds\n"
               "org.gnome.nautilus.preferences), or that lies the same way under the vendor prefix and\n"
               "the name of the program the application starts when that is named after it (Exec=rhythmbox\n"
               "for org.gnome.Rhythmbox3 gives org.gnome.rhythmbox), with its child schemas and, for relocatable\n"
               "schemas, every copy below the application's settings path; for a Flatpak application\n"
               "also everything in ~/.var/app/APPLICATION-ID/config.\n"
               "Only ids of installed applications are accepted, an id of fewer than three parts (such as\n"
               "\"org.gnome\", a vendor's prefix) only ever matches the schema of that very id, and schemas\n"
               "within the id of another installed application are left to that application.\n"
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

std::string lowered(std::string text)
{
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

bool startsWithComponent(const std::string& candidate, const std::string& prefix)
{
    return candidate.size() > prefix.size() && candidate.compare(0, prefix.size(), prefix) == 0 && candidate[prefix.size()] == '.';
}

// Both lowered: the schema is the prefix itself or lies below it at a component boundary.
bool within(const std::string& schemaId, const std::string& prefix)
{
    return schemaId == prefix || startsWithComponent(schemaId, prefix);
}

std::string withoutDesktopSuffix(std::string id)
{
    if (id.size() > 8 && id.compare(id.size() - 8, 8, ".desktop") == 0)
        id.resize(id.size() - 8);
    return id;
}

// Lowered ids of every other installed application: schemas inside their namespaces are theirs.
std::vector<std::string> otherApplicationIds(const std::string& id)
{
    std::vector<std::string> others;
    const std::string own = lowered(id);
    GList* all = g_app_info_get_all();
    for (GList* l = all; l; l = l->next) {
        const char* desktopId = g_app_info_get_id(G_APP_INFO(l->data));
        if (!desktopId)
            continue;
        std::string other = lowered(withoutDesktopSuffix(desktopId));
        if (other != own)
            others.push_back(other);
    }
    g_list_free_full(all, g_object_unref);
    return others;
}

bool isPlainComponent(const std::string& word)
{
    if (word.empty() || word.front() == '-')
        return false;
    for (char c : word)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
            return false;
    return true;
}

std::string lettersAndDigits(const std::string& text)
{
    std::string kept;
    for (char c : lowered(text))
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            kept += c;
    return kept;
}

// The name of the program the desktop file starts, as in Exec=nautilus --new-window: many
// applications name their schemas after it ("org.gnome.Rhythmbox3" keeps org.gnome.rhythmbox).
std::string executableName(GDesktopAppInfo* info)
{
    gchar* exec = g_desktop_app_info_get_string(info, "Exec");
    gchar** argv = nullptr;
    std::string name;
    if (exec && g_shell_parse_argv(exec, nullptr, &argv, nullptr)) {
        gchar** word = argv;
        if (*word && (g_str_has_suffix(*word, "/env") || std::strcmp(*word, "env") == 0)) {
            ++word;
            while (*word && std::strchr(*word, '=') && (*word)[0] != '-')
                ++word;
        }
        if (*word) {
            gchar* base = g_path_get_basename(*word);
            name = base;
            g_free(base);
        }
    }
    g_strfreev(argv);
    g_free(exec);
    return isPlainComponent(name) ? name : std::string();
}

// The lowered names whose schemas belong to the application: its id and, when its program is
// named after it, the vendor prefix with the program's name.
std::vector<std::string> namesOf(const std::string& id, GDesktopAppInfo* info)
{
    std::vector<std::string> names = {lowered(id)};
    if (!info || componentCount(id) < 3 || g_desktop_app_info_has_key(info, "X-Flatpak"))
        return names; // a Flatpak's program is the flatpak launcher, not the application
    const std::string program = executableName(info);
    const std::string last = lettersAndDigits(id.substr(id.rfind('.') + 1));
    const std::string plain = lettersAndDigits(program);
    // Only a program named after the application: Exec=desktop must not reach org.gnome.desktop.
    // One name starts or ends the other (rhythmbox in rhythmbox3, calculator in gnome-calculator).
    auto related = [](const std::string& a, const std::string& b) {
        return b.size() >= 3 && a.size() >= b.size()
               && (a.compare(0, b.size(), b) == 0 || a.compare(a.size() - b.size(), b.size(), b) == 0);
    };
    if (plain.empty() || last.empty() || !(related(plain, last) || related(last, plain)))
        return names;
    std::string alias = lowered(id.substr(0, id.rfind('.') + 1) + program);
    if (alias != names.front())
        names.push_back(alias);
    return names;
}

class Resetter {
public:
    Resetter(const std::string& id, GDesktopAppInfo* info, GSettingsSchemaSource* source)
        : id_(id), source_(source), names_(namesOf(id, info)), others_(otherApplicationIds(id))
    {
    }

    bool belongs(const std::string& schemaId) const
    {
        const std::string schema = lowered(schemaId);
        size_t matched = 0;
        for (const auto& name : names_) {
            // A name of fewer than three parts is a vendor's prefix: it only names its very schema.
            if (schema == name || (componentCount(name) >= 3 && startsWithComponent(schema, name)))
                matched = std::max(matched, name.size());
        }
        if (matched == 0)
            return false;
        for (const auto& other : others_)
            if (other.size() >= matched && within(schema, other))
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
        const std::string applicationPath = this->applicationPath(fixed);
        for (gchar** s = fixed; s && *s; ++s) {
            if (!belongs(*s))
                continue;
            GSettingsSchema* schema = g_settings_schema_source_lookup(source_, *s, TRUE);
            if (!schema)
                continue;
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
    // The schema named like the application says where its settings live; relocatable schemas
    // are looked for below that.
    std::string applicationPath(gchar** fixed) const
    {
        for (const auto& name : names_)
            for (gchar** s = fixed; s && *s; ++s) {
                if (lowered(*s) != name)
                    continue;
                GSettingsSchema* schema = g_settings_schema_source_lookup(source_, *s, TRUE);
                std::string path = schema && g_settings_schema_get_path(schema) ? g_settings_schema_get_path(schema) : "";
                if (schema)
                    g_settings_schema_unref(schema);
                if (!path.empty())
                    return path;
            }
        return defaultApplicationPath();
    }

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
    std::vector<std::string> names_;
    std::vector<std::string> others_;
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
        Resetter resetter(id, info, source);
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
