// SPDX-License-Identifier: GPL-3.0-or-later
// The kind editors on the right of the action editor, driven through their operations and
// checked in the actions, in Actions.plist and in the files they write.
#include "SettingsTestSupport.h"

#include "messaging/OVProtocol.h"
#include "model/OVCompressPasswordAction.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVMoveToAction.h"
#include "model/OVNewFileAction.h"
#include "model/OVNewFileActionGroup.h"
#include "model/OVOpenWithActionGroup.h"
#include "model/OVOpenWithAppAction.h"
#include "platform/Workspace.h"
#include "settings/AppDelegate.h"
#include "settings/OVApplicationChooser.h"
#include "settings/OVCompressPasswordModule.h"
#include "settings/OVEditorRegistry.h"
#include "settings/OVEditorModule.h"
#include "settings/OVMainWindowController.h"
#include "settings/OVMoveToActionModule.h"
#include "settings/OVNewFileActionModule.h"
#include "settings/OVShellScriptModule.h"

#include <gio/gdesktopappinfo.h>
#include <sys/stat.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using settingstest::MessageCounter;

class KindEditor : public settingstest::SettingsTest {
protected:
    template <typename Editor>
    std::shared_ptr<Editor> showEditor(const OVActionPtr& action)
    {
        store_ = OVActionsManager::create();
        store_->updateActions({action});
        store_->actuallySave();
        auto editor = OVActionModuleViewController::controllerWithAction<Editor>(action, store_);
        showInWindow(editor->view());
        return editor;
    }

    // The first top-level action as a fresh store reads it from Actions.plist.
    static OVActionPtr savedAction()
    {
        auto fresh = OVActionsManager::create();
        return fresh && !fresh->actions().empty() ? fresh->actions().front() : nullptr;
    }

    static std::vector<std::string> childTitles(const OVActionPtr& group)
    {
        auto g = std::dynamic_pointer_cast<OVActionGroup>(group);
        return g ? titles(g->actions()) : std::vector<std::string>{"<no group>"};
    }

    static std::string scriptsFolder() { return ov::pathByAppending(ov::containerPath(), "scripts"); }

    static std::vector<std::string> filesIn(const std::string& folder)
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec))
            names.push_back(entry.path().filename().string());
        return names;
    }

    static void type(OVShellScriptModule& editor, const std::string& text)
    {
        // At the end: the default script arrives selected, with the cursor at its start.
        GtkTextBuffer* buffer = gtk_text_view_get_buffer(editor.textView());
        GtkTextIter end;
        gtk_text_buffer_get_end_iter(buffer, &end);
        gtk_text_buffer_place_cursor(buffer, &end);
        gtk_text_buffer_insert_at_cursor(buffer, text.c_str(), -1);
    }

    std::shared_ptr<OVActionsManager> store_;
};

TEST_F(KindEditor, FoldersAddedSeveralAtOnceSkipTargetsTheGroupAlreadyHas)
{
    const std::string documents = home_->makeFolder("Documents");
    const std::string pictures = home_->makeFolder("Pictures");
    const std::string music = home_->makeFolder("Music.old");
    auto group = OVAction::action<OVMoveActionGroup>();
    auto existing = OVAction::action<OVMoveToAction>();
    existing->setTitle("Docs");
    existing->setDestinationURL(documents);
    group->addAction(existing);
    auto editor = showEditor<OVMoveToActionModule>(group);
    EXPECT_STREQ(gtk_label_get_text(editor->headingLabel()), "Move files and folders to a specific folder");
    MessageCounter changes(OVProtocol::kDidChangeNotification);

    // The same folder with a trailing slash, and twice in one choice, is the same target.
    editor->addFolders({documents + "/", pictures, music, pictures});
    EXPECT_EQ(childTitles(group), (std::vector<std::string>{"Docs", "Pictures", "Music"}));
    auto added = std::dynamic_pointer_cast<OVMoveToAction>(group->actions()[2]);
    ASSERT_TRUE(added);
    EXPECT_EQ(added->destinationURL(), music);
    EXPECT_TRUE(added->icon() && !added->icon()->isEmpty());
    ASSERT_TRUE(changes.waitBeyond(0));
    EXPECT_EQ(childTitles(savedAction()), childTitles(group));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return editor->fieldAt(2, "name") != nullptr; }));
    EXPECT_STREQ(gtk_editable_get_text(GTK_EDITABLE(editor->fieldAt(2, "name"))), "Music");

    // Only duplicates: nothing changes and nothing is saved.
    const int seen = changes.count();
    editor->addFolders({documents, music});
    EXPECT_EQ(group->actions().size(), 3u);
    EXPECT_TRUE(ovtest::pumpPastTimersDueWithin(300));
    EXPECT_EQ(changes.count(), seen);

    // A name typed into the field is applied by Escape as by Return; a blank one is refused.
    GtkEntry* name = editor->fieldAt(1, "name");
    gtk_editable_set_text(GTK_EDITABLE(name), "  Photos ");
    pressReturn(name);
    EXPECT_EQ(group->actions()[1]->title(), "Photos");
    EXPECT_STREQ(gtk_editable_get_text(GTK_EDITABLE(name)), "Photos");
    gtk_editable_set_text(GTK_EDITABLE(name), " ");
    pressReturn(name);
    EXPECT_EQ(group->actions()[1]->title(), "Photos");
    EXPECT_STREQ(gtk_editable_get_text(GTK_EDITABLE(name)), "Photos");

    // The context menu acts on the right-clicked row when it is outside the selection.
    std::vector<std::string> revealed;
    ov::setWorkspaceRecorder(ov::WorkspaceRecorder{[&](const std::string&, const std::vector<std::string>& args) {
        revealed = args;
    }});
    ovtest::Restore recorder([] { ov::setWorkspaceRecorder(std::nullopt); });
    editor->selectRows({1});
    editor->popUpContextMenu(2, 10, 10);
    ASSERT_TRUE(gtk_widget_activate_action(editor->view(), "list.show-in-finder", nullptr));
    EXPECT_EQ(revealed, (std::vector<std::string>{music}));
    gtk_popover_popdown(editor->contextMenu());
    ASSERT_TRUE(ovtest::pumpPending());
    ASSERT_TRUE(gtk_widget_activate_action(editor->view(), "list.remove", nullptr));
    EXPECT_EQ(childTitles(group), (std::vector<std::string>{"Docs", "Music"}));
}

TEST_F(KindEditor, ApplicationsChosenAreStoredAsDesktopFilesThatTheRunnerOpens)
{
    // Two applications of the test's own; the first records what it was asked to open.
    const std::string marker = home_->path() + "/opened.txt";
    const std::string tool = home_->writeFile("recorder.sh", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + marker + ".tmp\"\nmv \""
                                                                 + marker + ".tmp\" \"" + marker + "\"\n");
    ASSERT_EQ(::chmod(tool.c_str(), 0755), 0);
    const std::string recorder = home_->writeFile("apps/recorder.desktop",
        "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + tool + " %F\nIcon=text-x-generic\n");
    const std::string other = home_->writeFile("apps/other.desktop", "[Desktop Entry]\nType=Application\nName=Another App\nExec=true %F\n");

    auto group = OVAction::action<OVOpenWithActionGroup>();
    auto editor = showEditor<OVMoveToActionModule>(group);
    EXPECT_STREQ(gtk_label_get_text(editor->headingLabel()), "Open files and folders with a specific application");
    editor->addFiles();
    OVApplicationChooser* chooser = editor->applicationChooser();
    ASSERT_TRUE(chooser);
    EXPECT_STREQ(gtk_window_get_title(chooser->window()), "Select the application you wish to add");
    std::vector<ov::GRef<GAppInfo>> offered;
    for (const auto& file : {recorder, other})
        offered.emplace_back(G_APP_INFO(g_desktop_app_info_new_from_filename(file.c_str())));
    ASSERT_TRUE(offered[0] && offered[1]);
    chooser->setApplications(std::move(offered));
    chooser->selectRows({0, 1}); // sorted by name: Another App, Recorder
    chooser->add();
    EXPECT_FALSE(editor->applicationChooser());

    ASSERT_EQ(childTitles(group), (std::vector<std::string>{"Another App", "Recorder"}));
    auto chosen = std::dynamic_pointer_cast<OVOpenWithAppAction>(group->actions()[1]);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->applicationURL(), recorder);

    // Choosing it again adds nothing.
    editor->addApplications({G_APP_INFO(g_desktop_app_info_new_from_filename(recorder.c_str()))});
    EXPECT_EQ(group->actions().size(), 2u);

    // What the runner does with the stored target: launch that application with the selection.
    ASSERT_TRUE(ovtest::pumpUntil([] { return bool(savedAction()) && std::dynamic_pointer_cast<OVActionGroup>(savedAction())->actions().size() == 2; }));
    auto saved = std::dynamic_pointer_cast<OVOpenWithAppAction>(std::dynamic_pointer_cast<OVActionGroup>(savedAction())->actions()[1]);
    ASSERT_TRUE(saved && saved->applicationURL());
    const std::string selected = home_->writeFile("some file.txt", "x");
    std::string error;
    ASSERT_TRUE(ov::launchApplication(*saved->applicationURL(), {selected}, &error)) << error;
    ASSERT_TRUE(ovtest::pumpUntil([&] { return fs::exists(marker); }, 10000));
    EXPECT_EQ(ovtest::readAll(marker), selected + "\n");
}

TEST_F(KindEditor, TemplatesAreCopiedAndTheirFieldsFollowTheEditingRules)
{
    auto group = OVAction::action<OVNewFileActionGroup>();
    auto builtIn = OVAction::action<OVNewFileAction>();
    builtIn->setTitle("Text File");
    builtIn->setFileName("untitled");
    builtIn->setExtension("txt");
    builtIn->setIsDefault(true);
    builtIn->setTemplateURL(home_->writeFile("shipped.txt", ""));
    group->addAction(builtIn);
    auto editor = showEditor<OVNewFileActionModule>(group);
    MessageCounter changes(OVProtocol::kDidChangeNotification);

    // The chosen file is copied; the entry refers to the copy.
    const std::string chosen = home_->writeFile("Budget 2027.ods", "spreadsheet bytes");
    editor->addTemplates({chosen, home_->path() + "/gone.txt"});
    ASSERT_EQ(group->actions().size(), 2u); // the failed copy adds nothing
    auto added = std::dynamic_pointer_cast<OVNewFileAction>(group->actions()[1]);
    ASSERT_TRUE(added && added->templateURL());
    EXPECT_EQ(ov::deletingLastPathComponent(*added->templateURL()), OVNewFileActionModule::customTemplatesURL());
    EXPECT_NE(*added->templateURL(), chosen);
    EXPECT_EQ(ovtest::readAll(*added->templateURL()), "spreadsheet bytes");
    EXPECT_TRUE(g_str_has_suffix(added->templateURL()->c_str(), ".ods"));
    EXPECT_EQ(added->fileName(), "Budget 2027");
    EXPECT_EQ(added->extension(), "ods");
    EXPECT_TRUE(added->enabled());
    EXPECT_FALSE(added->title().value_or("").empty());
    ASSERT_TRUE(changes.waitBeyond(0));

    // Blank title and file name beep and keep the old value; a blank extension is kept empty.
    EXPECT_EQ(editor->didEditActionName(1, "  \n"), added->title().value_or(""));
    EXPECT_EQ(editor->didEditActionName(1, " Budget "), "Budget");
    EXPECT_EQ(added->title(), "Budget");
    EXPECT_EQ(editor->didEditFileName(1, "\t"), "Budget 2027");
    EXPECT_EQ(added->fileName(), "Budget 2027");
    ASSERT_TRUE(ovtest::pumpUntil([&] { return editor->fieldAt(1, "extension") != nullptr; }));
    GtkEntry* extension = editor->fieldAt(1, "extension");
    gtk_editable_set_text(GTK_EDITABLE(extension), "  ");
    pressReturn(extension);
    EXPECT_EQ(added->extension(), std::optional<std::string>(""));
    // A row number outside the list is ignored.
    editor->didToggleEnabled(7, false);
    editor->didEditFileName(7, "x");
    EXPECT_TRUE(added->enabled());

    // A default entry is not removed; a user entry is. Moving shows the new order at once.
    editor->selectRows({0});
    EXPECT_FALSE(gtk_widget_get_sensitive(GTK_WIDGET(editor->removeButton())));
    editor->deleteSelectedFiles();
    EXPECT_EQ(group->actions().size(), 2u);
    editor->selectRows({1});
    ASSERT_TRUE(gtk_widget_activate_action(editor->view(), "list.move-up", nullptr));
    EXPECT_EQ(childTitles(group), (std::vector<std::string>{"Budget", "Text File"}));
    EXPECT_EQ(editor->selectedRows(), (std::vector<unsigned>{0}));
    EXPECT_TRUE(ovtest::pumpUntil([&] {
        GtkEntry* first = editor->fieldAt(0, "title");
        return first && std::string(gtk_editable_get_text(GTK_EDITABLE(first))) == "Budget";
    }));

    // A template that disappears stays, shown as missing.
    fs::remove(*builtIn->templateURL());
    editor->reloadData();
    EXPECT_TRUE(OVNewFileActionModule::isTemplateMissing(*builtIn));
    EXPECT_EQ(group->actions().size(), 2u);
    const int seen = changes.count();
    EXPECT_TRUE(ovtest::pumpUntil([&] { return changes.count() > seen || changes.count() >= 1; }));
    auto saved = savedAction();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return childTitles(savedAction()) == childTitles(group); }));
    auto savedEntry = std::dynamic_pointer_cast<OVNewFileAction>(std::dynamic_pointer_cast<OVActionGroup>(savedAction())->actions()[0]);
    ASSERT_TRUE(savedEntry);
    EXPECT_EQ(savedEntry->extension(), std::optional<std::string>(""));
}

TEST_F(KindEditor, QuickTypingWritesOnceIntoOneScriptFileAndQuittingWritesWhatIsPending)
{
    // A new script action: its editor shows the default script and writes it at once.
    auto script = OVAction::action<OVShellScriptAction>();
    script->setTitle("Mine");
    auto other = OVAction::action<OVMoveActionGroup>();
    auto store = OVActionsManager::create();
    store->updateActions({script, other});
    store->actuallySave();
    auto delegate = ovsettings::AppDelegate::create(nullptr, [store] { return store; }, defaults_);
    delegate->applicationWillFinishLaunching();
    delegate->applicationDidFinishLaunching();
    auto window = delegate->mainWindowController();
    ASSERT_TRUE(window);
    window->selectModuleAtRow(OVMainWindowController::kEditorRow);
    auto list = window->editorModule();
    list->selectRows({0});
    auto editor = std::dynamic_pointer_cast<OVShellScriptModule>(list->currentModule());
    ASSERT_TRUE(editor);
    const std::string initial = editor->text();
    EXPECT_FALSE(initial.empty());
    // A second save before the first is written still goes to the same new file.
    type(*editor, "# first\n");
    editor->save();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return script->scriptURL().has_value(); }));
    ASSERT_TRUE(ovtest::pumpUntil([&] { return ovtest::readAll(*script->scriptURL()) == initial + "# first\n"; }));
    EXPECT_EQ(filesIn(scriptsFolder()).size(), 1u);
    const std::string path = *script->scriptURL();
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0111, 0111u);

    // Every write replaces the file by a new one: count the replacements.
    ov::GRef<GFileMonitor> monitor(g_file_monitor_directory(ov::GRef<GFile>(g_file_new_for_path(scriptsFolder().c_str())).get(),
                                                            G_FILE_MONITOR_WATCH_MOVES, nullptr, nullptr));
    int replaced = 0;
    g_signal_connect(monitor.get(), "changed", G_CALLBACK(+[](GFileMonitor*, GFile*, GFile* other, GFileMonitorEvent event, gpointer data) {
        if (event == G_FILE_MONITOR_EVENT_RENAMED || event == G_FILE_MONITOR_EVENT_MOVED_IN)
            ++*static_cast<int*>(data);
        (void)other;
    }), &replaced);
    // On a machine too busy to type a key within the save delay, a write between keys is right.
    gint64 slowestKey = 0;
    for (const char* keys : {"e", "c", "h", "o", " hi\n"}) {
        const gint64 start = g_get_monotonic_time();
        type(*editor, keys);
        ASSERT_TRUE(ovtest::pumpPending()); // quick typing: what each keystroke set off, no more
        slowestKey = std::max(slowestKey, g_get_monotonic_time() - start);
    }
    const bool typedQuickly = slowestKey < gint64(OVShellScriptModule::kSaveDelay * G_USEC_PER_SEC) / 2;
    if (typedQuickly) {
        EXPECT_EQ(replaced, 0);
        EXPECT_EQ(ovtest::readAll(path), initial + "# first\n");
    }
    const std::string typed = initial + "# first\necho hi\n";
    ASSERT_TRUE(ovtest::pumpUntil([&] { return ovtest::readAll(path) == typed; }, 3000));
    ASSERT_TRUE(ovtest::pumpPastTimersDueWithin(700));
    if (typedQuickly) {
        EXPECT_EQ(replaced, 1);
    }

    // Selecting another action writes what is pending at once.
    type(*editor, "exit 0\n");
    list->selectRows({1});
    EXPECT_FALSE(editor->hasPendingSave());
    ASSERT_TRUE(ovtest::pumpUntil([&] { return ovtest::readAll(path) == typed + "exit 0\n"; }, 2000));

    // Quitting half a second early: the last keystrokes are on disk when quitting returns.
    list->selectRows({0});
    editor = std::dynamic_pointer_cast<OVShellScriptModule>(list->currentModule());
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->text(), typed + "exit 0\n");
    type(*editor, "# last\n");
    ASSERT_TRUE(editor->hasPendingSave());
    delegate->applicationWillTerminate();
    EXPECT_EQ(ovtest::readAll(path), typed + "exit 0\n# last\n");
    auto saved = std::dynamic_pointer_cast<OVShellScriptAction>(savedAction());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->scriptURL(), path);
    EXPECT_EQ(filesIn(scriptsFolder()).size(), 1u);
    window->close();
}

TEST_F(KindEditor, AScriptThatCannotBeWrittenOrReadIsNeverLost)
{
    // "scripts" is a file: no new script can be written.
    home_->writeFile("data/ORVANE.app.orvane.Orvane/scripts", "in the way");
    auto script = OVAction::action<OVShellScriptAction>();
    auto editor = showEditor<OVShellScriptModule>(script);
    AdwMessageDialog* alert = waitForAlert("Could not save");
    ASSERT_TRUE(alert);
    EXPECT_STREQ(adw_message_dialog_get_body(alert), "An error occurred when attempting to save this script. Please try again");
    EXPECT_FALSE(script->scriptURL());
    answer(alert, 0);
    type(*editor, "echo kept\n");
    editor->save();
    ASSERT_TRUE(waitForAlert("Could not save"));
    EXPECT_TRUE(g_str_has_suffix(editor->text().c_str(), "echo kept\n"));
    EXPECT_FALSE(script->scriptURL());
    EXPECT_EQ(countAlerts(), 1);
    closeAlerts();

    // A script file that is not text is shown as an error, never replaced by the default.
    const std::string bytes = std::string("echo caf\xe9\n", 10);
    const std::string path = home_->writeFile("mine.sh", bytes);
    auto unreadable = OVAction::action<OVShellScriptAction>();
    unreadable->setScriptURL(path);
    auto shown = OVActionModuleViewController::controllerWithAction<OVShellScriptModule>(unreadable, store_);
    showInWindow(shown->view());
    EXPECT_TRUE(shown->readFailed());
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(shown->errorLabel())));
    EXPECT_FALSE(gtk_text_view_get_editable(shown->textView()));
    shown->save();
    shown->flushPendingChanges(true);
    EXPECT_TRUE(ovtest::pumpPastTimersDueWithin(600));
    EXPECT_EQ(ovtest::readAll(path), bytes);
    EXPECT_EQ(unreadable->scriptURL(), path);
    EXPECT_EQ(countAlerts(), 0);

    // A locked script shows its description instead of its text.
    auto locked = OVAction::action<OVShellScriptAction>();
    locked->setIsEditable(false);
    locked->setActionDescription("Does something built in");
    auto lockedEditor = OVActionModuleViewController::controllerWithAction<OVShellScriptModule>(locked, store_);
    EXPECT_FALSE(lockedEditor->textView());
    EXPECT_TRUE(gtk_widget_get_visible(lockedEditor->lockedView()));
    EXPECT_STREQ(adw_status_page_get_title(ADW_STATUS_PAGE(lockedEditor->lockedView())), "Does something built in");
}

// The editor's switch is the action's own setting, saved in its key only while on; using it
// drops a choice remembered from the prompt, so the next prompt starts where the switch is.
TEST_F(KindEditor, TheStrongEncryptionSwitchIsSavedAndIsWhereThePromptStarts)
{
    auto zipper = OVAction::action<OVCompressPasswordAction>();
    EXPECT_TRUE(std::dynamic_pointer_cast<OVCompressPasswordModule>(OVEditorRegistry::viewControllerForAction(zipper, nullptr)));
    auto editor = showEditor<OVCompressPasswordModule>(zipper);
    GtkSwitch* toggle = editor->strongEncryptionSwitch();
    ASSERT_TRUE(toggle);
    EXPECT_FALSE(gtk_switch_get_active(toggle));
    GtkWidget* row = gtk_widget_get_ancestor(GTK_WIDGET(toggle), ADW_TYPE_ACTION_ROW);
    ASSERT_TRUE(row);
    EXPECT_STREQ(adw_preferences_row_get_title(ADW_PREFERENCES_ROW(row)), "Strong encryption (AES-256)");
    EXPECT_STREQ(adw_action_row_get_subtitle(ADW_ACTION_ROW(row)),
                 "7-Zip and Files open it; Info-ZIP unzip 6 and Windows' built-in zip support do not.");
    EXPECT_STREQ(gtk_label_get_text(editor->descriptionLabel()), "Create a protected zip file with the selected paths");
    const auto storeBytes = [] { return ov::readFile(OVActionsManager::saveURL()).value_or("<unreadable>"); };
    const std::string traditional = storeBytes();
    ASSERT_EQ(traditional.find("strongEncryption"), std::string::npos);

    const auto savedStrong = [] {
        auto* saved = dynamic_cast<OVCompressPasswordAction*>(savedAction().get());
        return saved && saved->strongEncryption();
    };
    gtk_switch_set_active(toggle, true);
    EXPECT_TRUE(zipper->strongEncryption());
    EXPECT_TRUE(ovtest::pumpUntil(savedStrong));
    gtk_switch_set_active(toggle, false);
    EXPECT_TRUE(ovtest::pumpUntil([&] { return !savedStrong(); }));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return storeBytes() == traditional; })) << "off writes the old archive again";

    // AES chosen in a prompt since: the editor shows where the next prompt starts, and the
    // switch, once used, decides again.
    defaults_->rememberStrongEncryption(*zipper, true);
    auto reopened = OVActionModuleViewController::controllerWithAction<OVCompressPasswordModule>(zipper, store_);
    showInWindow(reopened->view());
    EXPECT_TRUE(gtk_switch_get_active(reopened->strongEncryptionSwitch()));
    EXPECT_FALSE(zipper->strongEncryption()) << "showing the choice changes nothing";
    EXPECT_TRUE(defaults_->startsWithStrongEncryption(*zipper));
    gtk_switch_set_active(reopened->strongEncryptionSwitch(), false);
    EXPECT_FALSE(zipper->strongEncryption());
    EXPECT_FALSE(defaults_->startsWithStrongEncryption(*zipper));
}

} // namespace
