// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsScreenshots.h"

#include "ScreenshotSupport.h"
#include "model/OVActionsManager.h"
#include "model/OVAppleScriptAction.h"
#include "model/OVBundledScriptAction.h"
#include "model/OVCompressPasswordAction.h"
#include "model/OVCopyActionGroup.h"
#include "model/OVCopyToAction.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVMoveToAction.h"
#include "model/OVNewFileAction.h"
#include "model/OVNewFileActionGroup.h"
#include "model/OVOpenWithActionGroup.h"
#include "model/OVOpenWithAppAction.h"
#include "model/OVSecureRemoveAction.h"
#include "model/OVShellScriptAction.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "settings/AppDelegate.h"
#include "settings/OVEditorModule.h"
#include "settings/OVMainWindowController.h"
#include "settings/OVStatusHelper.h"
#include "settings/OVStatusModule.h"

#include <filesystem>

namespace {

OVActionList sampleActions()
{
    OVActionList list;
    auto move = OVAction::action<OVMoveActionGroup>();
    auto copy = OVAction::action<OVCopyActionGroup>();
    for (const char* folder : {"Documents", "Pictures", "Desktop"}) {
        auto m = OVAction::action<OVMoveToAction>();
        m->setTitle(folder);
        m->setDestinationURL(std::string(g_get_home_dir()) + "/" + folder);
        move->addAction(m);
        auto c = OVAction::action<OVCopyToAction>();
        c->setTitle(folder);
        copy->addAction(c);
    }
    move->setIsDefault(true);
    copy->setIsDefault(true);
    list.push_back(move);
    list.push_back(copy);
    list.push_back(OVAction::action<OVCompressPasswordAction>());
    auto secure = OVAction::action<OVSecureRemoveAction>();
    secure->setEnabled(false);
    list.push_back(secure);
    for (const char* script : {"Copy paths to clipboard", "New Terminal Window Here", "Edit with Vim"})
        if (auto a = OVBundledScriptAction::actionWithBundledFileName(script))
            list.push_back(a);
    auto own = OVAction::action<OVShellScriptAction>();
    own->setTitle("Resize photos for the web");
    list.push_back(own);
    // Kinds with editors of their own, after the rows the other pictures point at.
    auto newFile = OVAction::action<OVNewFileActionGroup>();
    for (const char* kind : {"Text File", "Shell Script", "Spreadsheet"}) {
        auto entry = OVAction::action<OVNewFileAction>();
        entry->setTitle(std::string(kind));
        entry->setFileName(std::string("untitled"));
        entry->setExtension(std::string(kind[1] == 'e' ? "txt" : kind[1] == 'h' ? "sh" : "ods"));
        entry->setEnabled(kind[1] != 'p');
        newFile->addAction(entry);
    }
    list.push_back(newFile);
    auto openWith = OVAction::action<OVOpenWithActionGroup>();
    auto app = OVAction::action<OVOpenWithAppAction>();
    app->setTitle(std::string("Text Editor"));
    app->setApplicationURL(std::string("/usr/share/applications/org.gnome.TextEditor.desktop"));
    app->setIcon(OVImage::named("accessories-text-editor"));
    openWith->addAction(app);
    list.push_back(openWith);
    auto apple = OVAction::action<OVAppleScriptAction>();
    apple->setTitle(std::string("Tag with comments"));
    list.push_back(apple);
    return list;
}

// A status logic whose registry never answers: the pictures set its state by hand, and nothing is
// started or stopped.
std::shared_ptr<OVStatusHelper> silentStatusHelper()
{
    OVStatusHelper::Environment env;
    env.registryTool = "/bin/true";
    env.runCommand = [](const std::vector<std::string>&) {};
    env.openApplication = [](const std::string&) {};
    env.terminateApplications = [](const std::string&) {};
    return OVStatusHelper::create(std::move(env));
}

bool savePage(const OVMainWindowController& c, const std::string& path, GtkPopover* popover = nullptr)
{
    screenshots::letDraw();
    return screenshots::saveWindow(c.window(), path, popover);
}

} // namespace

bool captureSettingsScreens(const std::string& folder)
{
    char* tmp = g_dir_make_tmp("orvane-screenshots-XXXXXX", nullptr);
    const std::string home = tmp;
    g_free(tmp);
    g_setenv("XDG_DATA_HOME", (home + "/data").c_str(), TRUE);
    g_setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), TRUE);
    // Every other file manager installed, so the status page shows each of their rows.
    g_mkdir_with_parents((home + "/bin").c_str(), 0755);
    for (const char* program : {"nemo", "thunar", "dolphin"})
        ov::writeFileAtomically(home + "/bin/" + program, "#!/bin/sh\n", 0755);
    const char* path = g_getenv("PATH");
    g_setenv("PATH", (home + "/bin" + (path ? std::string(":") + path : std::string())).c_str(), TRUE);

    auto store = OVActionsManager::create();
    store->updateActions(sampleActions());
    store->actuallySave();
    auto defaults = OVUserDefaults::create();
    bool ok = true;
    {
        auto status = silentStatusHelper();
        auto c = HLWindowController::controller<OVMainWindowController>(store, defaults, status);
        c->showWindow();
        const char* pages[] = {"page-status-checking", "page-manage-actions", "page-preferences", "page-about"};
        for (int row = 0; row < 4; ++row) {
            c->selectModuleAtRow(row);
            ok = savePage(*c, folder + "/" + pages[row] + ".png") && ok;
        }
        c->selectModuleAtRow(OVMainWindowController::kStatusRow);
        for (bool on : {true, false}) {
            status->setIsEnabled(on);
            c->statusModule()->updateUI();
            ok = savePage(*c, folder + (on ? "/page-status-on.png" : "/page-status-off.png")) && ok;
        }

        c->selectModuleAtRow(OVMainWindowController::kEditorRow);
        auto editor = c->editorModule();
        editor->selectRows({7});
        ok = savePage(*c, folder + "/editor-list.png") && ok;

        gtk_menu_button_popup(editor->addButton());
        ok = savePage(*c, folder + "/editor-add-menu.png", gtk_menu_button_get_popover(editor->addButton())) && ok;
        gtk_menu_button_popdown(editor->addButton());

        graphene_rect_t row = GRAPHENE_RECT_INIT(0, 0, 0, 0);
        if (GtkLabel* name = editor->nameLabelAt(2); !name || !gtk_widget_compute_bounds(GTK_WIDGET(name), GTK_WIDGET(editor->tableView()), &row))
            row = GRAPHENE_RECT_INIT(0, 60, 200, 30);
        editor->popUpContextMenu(2, row.origin.x + 40, row.origin.y + row.size.height / 2);
        ok = savePage(*c, folder + "/editor-context-menu.png", editor->contextMenu()) && ok;
        gtk_popover_popdown(editor->contextMenu());

        // The editor with each kind editor on the right.
        const std::pair<unsigned, const char*> kinds[] = {{0, "folders"}, {9, "applications"}, {8, "templates"},
                                                          {7, "shell-script"}, {3, "description"}, {10, "applescript"},
                                                          {2, "compress-password"}};
        for (const auto& [row, name] : kinds) {
            editor->selectRows({row});
            ok = savePage(*c, folder + "/editor-kind-" + name + ".png") && ok;
        }
        editor->selectRows({});
        ok = savePage(*c, folder + "/editor-kind-none.png") && ok;

        // How many items an action is for, under its kind editor: a custom range.
        editor->selectRows({7});
        const OVSelectionCountControl& counts = editor->selectionCounts();
        gtk_drop_down_set_selected(counts.choiceDropDown(), OVSelectionCountControl::CustomRange);
        gtk_spin_button_set_value(counts.maximumSpin(), 5);
        gtk_spin_button_set_value(counts.minimumSpin(), 2);
        ok = savePage(*c, folder + "/editor-selection-counts.png") && ok;
        gtk_drop_down_set_selected(counts.choiceDropDown(), OVSelectionCountControl::AnyNumber);

        editor->selectRows({7});
        ok = screenshots::capture(folder, "alert-delete-action", [&] { editor->deleteSelectedGroups(); }) && ok;
        // Trying the list on a photo and a text file, with one script limited to images (not
        // saved): it, and the actions turned off, are left out with their reasons.
        gtk_menu_button_popup(editor->tryButton());
        ok = savePage(*c, folder + "/editor-try-menu.png", gtk_menu_button_get_popover(editor->tryButton())) && ok;
        gtk_menu_button_popdown(editor->tryButton());
        for (const auto& action : store->actions()) {
            if (action->title() == std::optional<std::string>("Resize photos for the web"))
                action->setFileTypes(OVStringList{"image/*"});
        }
        g_mkdir_with_parents((home + "/Trial").c_str(), 0755);
        const std::string photo = home + "/Trial/holiday.jpg", notes = home + "/Trial/notes.txt";
        ov::writeFileAtomically(photo, "", 0644);
        ov::writeFileAtomically(notes, "", 0644);
        ok = screenshots::capture(folder, "try-on-files", [&] { editor->tryOnPaths({photo, notes}, false); }) && ok;
        ok = screenshots::capture(folder, "alert-continue-in-background", [&] { gtk_window_close(c->window()); }) && ok;
        c->close();
    }

    ok = screenshots::capture(folder, "alert-database-error", [&] {
        auto broken = ovsettings::AppDelegate::create(nullptr, [] { return std::shared_ptr<OVActionsManager>(); }, defaults);
        broken->applicationWillFinishLaunching();
    }) && ok;

    auto delegate = ovsettings::AppDelegate::create(nullptr, [store] { return store; }, defaults);
    delegate->applicationWillFinishLaunching();
    std::filesystem::remove(OVActionsManager::saveURL());
    std::filesystem::create_directory(OVActionsManager::saveURL()); // the save cannot replace a folder
    ok = screenshots::capture(folder, "alert-save-failed", [&] { store->actuallySave(); }) && ok;
    delegate.reset();

    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return ok;
}
