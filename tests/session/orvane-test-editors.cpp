// SPDX-License-Identifier: GPL-3.0-or-later
// Builds two new entries the way a user does in the settings window, then prints their uids:
// a "Move to a folder" entry with one folder (line "move UID"), and a shell script typed into
// the script editor (line "shell UID"). Usage: orvane-test-editors FOLDER SCRIPT-TEXT. Needs a display.
#include "model/OVActionsManager.h"
#include "model/OVShellScriptAction.h"
#include "model/OVUserDefaults.h"
#include "platform/GuiResources.h"
#include "platform/MainContext.h"
#include "settings/OVEditorModule.h"
#include "settings/OVMainWindowController.h"
#include "settings/OVMoveToActionModule.h"
#include "settings/OVShellScriptModule.h"

#include <iostream>
#include <string>

namespace {

// Adds an action of the add menu's kind, names it as typing and Return would, and selects it.
OVActionPtr addNamed(OVEditorModule& editor, OVActionsManager& store, int code, const char* name)
{
    editor.addAction(code);
    const unsigned row = unsigned(store.actions().size() - 1);
    if (!ov::iterateMainUntil([&] { return editor.isEditingName(row); }, 5000))
        return nullptr;
    GtkEntry* field = editor.nameFieldAt(row);
    gtk_editable_set_text(GTK_EDITABLE(field), name);
    g_signal_emit_by_name(gtk_editable_get_delegate(GTK_EDITABLE(field)), "activate");
    editor.selectRows({row});
    return store.actions()[row];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: orvane-test-editors FOLDER SCRIPT-TEXT\n";
        return 2;
    }
    if (!ov::guiReady()) {
        std::cerr << "no display\n";
        return 77;
    }
    auto store = OVActionsManager::create();
    auto defaults = OVUserDefaults::create();
    if (!store)
        return 1;
    auto window = HLWindowController::controller<OVMainWindowController>(store, defaults);
    window->showWindow();
    window->selectModuleAtRow(OVMainWindowController::kEditorRow);
    auto editor = window->editorModule();

    auto group = addNamed(*editor, *store, OVEditorModule::kAddMove, "Archive");
    auto folders = group ? std::dynamic_pointer_cast<OVMoveToActionModule>(editor->currentModule()) : nullptr;
    if (!folders) {
        std::cerr << "no folder editor for the new entry\n";
        return 1;
    }
    folders->addFolders({argv[1]});

    auto shell = std::dynamic_pointer_cast<OVShellScriptAction>(addNamed(*editor, *store, OVEditorModule::kAddShellScript, "Mark"));
    auto script = shell ? std::dynamic_pointer_cast<OVShellScriptModule>(editor->currentModule()) : nullptr;
    if (!script) {
        std::cerr << "no script editor for the new entry\n";
        return 1;
    }
    // Typed over the default script, which arrives selected.
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(script->textView());
    gtk_text_buffer_delete_selection(buffer, TRUE, TRUE);
    gtk_text_buffer_insert_at_cursor(buffer, argv[2], -1);
    // What quitting does: what is pending is written, then the store.
    editor->flushPendingChanges(true);
    store->actuallySave();

    auto moveGroup = std::dynamic_pointer_cast<OVActionGroup>(group);
    if (!moveGroup || moveGroup->actions().size() != 1 || !shell->scriptURL()) {
        std::cerr << "the entries are incomplete\n";
        return 1;
    }
    std::cout << "move " << moveGroup->actions().front()->uid() << "\nshell " << shell->uid() << std::endl;
    window->close();
    return 0;
}
