// SPDX-License-Identifier: GPL-3.0-or-later
// Hosts the Nautilus module the way Nautilus does: loads the shared object through a type
// module and hands it stand-in file-info objects. Used by the module tests and its benchmark.
#pragma once

#include <gio/gio.h>
#include <gmodule.h>
extern "C" {
#include <nautilus-extension.h>
}

#include <string>

namespace nautilushost {

// --- A file info backed by a GFile ---------------------------------------------------------

struct TestFileInfo {
    GObject parent;
    GFile* location;
    gboolean directory;
};
struct TestFileInfoClass {
    GObjectClass parent_class;
};

inline GFile* testFileInfoGetLocation(NautilusFileInfo* info)
{
    return G_FILE(g_object_ref(reinterpret_cast<TestFileInfo*>(info)->location));
}
inline gboolean testFileInfoIsDirectory(NautilusFileInfo* info) { return reinterpret_cast<TestFileInfo*>(info)->directory; }

inline void testFileInfoIfaceInit(gpointer g_iface, gpointer)
{
    auto* iface = static_cast<NautilusFileInfoInterface*>(g_iface);
    iface->get_location = testFileInfoGetLocation;
    iface->is_directory = testFileInfoIsDirectory;
}

inline GType testFileInfoGetType();
inline void testFileInfoInit(GTypeInstance*, gpointer) {}
inline void testFileInfoFinalize(GObject* object)
{
    g_clear_object(&reinterpret_cast<TestFileInfo*>(object)->location);
    G_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(object)))->finalize(object);
}
inline void testFileInfoClassInit(gpointer klass, gpointer) { G_OBJECT_CLASS(klass)->finalize = testFileInfoFinalize; }

inline GType testFileInfoGetType()
{
    static GType type = [] {
        GType t = g_type_register_static_simple(G_TYPE_OBJECT, "OrvaneTestFileInfo", sizeof(TestFileInfoClass),
                                                testFileInfoClassInit,
                                                sizeof(TestFileInfo),
                                                testFileInfoInit, GTypeFlags(0));
        const GInterfaceInfo info = {testFileInfoIfaceInit, nullptr, nullptr};
        g_type_add_interface_static(t, NAUTILUS_TYPE_FILE_INFO, &info);
        return t;
    }();
    return type;
}

inline NautilusFileInfo* fileInfo(GFile* location, bool directory)
{
    auto* info = static_cast<TestFileInfo*>(g_object_new(testFileInfoGetType(), nullptr));
    info->location = location;
    info->directory = directory;
    return NAUTILUS_FILE_INFO(info);
}
inline NautilusFileInfo* localInfo(const std::string& path, bool directory = false)
{
    return fileInfo(g_file_new_for_path(path.c_str()), directory);
}

// --- Loading the module like Nautilus ----------------------------------------------------

using InitializeFn = void (*)(GTypeModule*);
using ListTypesFn = void (*)(const GType**, int*);

inline GModule* gLibrary = nullptr;

inline gboolean testModuleLoad(GTypeModule* module)
{
    gpointer initialize = nullptr;
    if (!g_module_symbol(gLibrary, "nautilus_module_initialize", &initialize))
        return FALSE;
    reinterpret_cast<InitializeFn>(initialize)(module);
    return TRUE;
}
inline void testModuleUnload(GTypeModule*) {}
inline void testModuleClassInit(gpointer g_class, gpointer)
{
    auto* klass = static_cast<GTypeModuleClass*>(g_class);
    klass->load = testModuleLoad;
    klass->unload = testModuleUnload;
}

inline GType loadedProviderType(const char* modulePath)
{
    static GType provider = [modulePath] {
        gLibrary = g_module_open(modulePath, G_MODULE_BIND_LOCAL);
        if (!gLibrary)
            return GType(0);
        GType moduleType = g_type_register_static_simple(G_TYPE_TYPE_MODULE, "OrvaneTestTypeModule",
                                                         sizeof(GTypeModuleClass),
                                                         testModuleClassInit,
                                                         sizeof(GTypeModule), nullptr, GTypeFlags(0));
        auto* module = G_TYPE_MODULE(g_object_new(moduleType, nullptr));
        if (!g_type_module_use(module))
            return GType(0);
        gpointer listTypes = nullptr;
        if (!g_module_symbol(gLibrary, "nautilus_module_list_types", &listTypes))
            return GType(0);
        const GType* types = nullptr;
        int count = 0;
        reinterpret_cast<ListTypesFn>(listTypes)(&types, &count);
        return count == 1 ? types[0] : GType(0);
    }();
    return provider;
}

} // namespace nautilushost
