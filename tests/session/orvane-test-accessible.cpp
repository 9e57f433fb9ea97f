// SPDX-License-Identifier: GPL-3.0-or-later
// The settings window for the accessibility walk: the built-in catalogue and a few more kinds in
// the store of the current XDG folders, then every page and every action's editor in turn. For
// each it prints "shown NAME" once it is drawn and waits for a line on standard input, with the
// main loop running, so a reader on the accessibility bus can walk the window meanwhile. Last
// the first action is renamed in its row ("shown renamed").
// Usage: orvane-test-accessible. Needs a display.
#include "model/OVActionsManager.h"
#include "model/OVAppleScriptAction.h"
#include "model/OVResetAppPreferencesAction.h"
#include "model/OVShellScriptAction.h"
#include "model/OVUserDefaults.h"
#include "platform/GuiResources.h"
#include "platform/MainContext.h"
#include "model/OVDefaultCatalogue.h"
#include "settings/OVEditorModule.h"
#include "settings/OVMainWindowController.h"
#include "settings/OVStatusHelper.h"
#include "settings/OVStatusModule.h"

#include <glib-unix.h>

#include <functional>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr const char* kNewTitle = "Renamed for screen readers";

// Lets the window lay out, draw and tell the accessibility bus, as far as it has work.
void settle(GtkWidget* shown)
{
    ov::iterateMainUntil([&] { return gtk_widget_get_mapped(shown); }, 5000);
    for (int round = 0; round < 3; ++round) {
        bool drawn = false;
        // A frame later everything queued before it is laid out and drawn.
        gtk_widget_add_tick_callback(shown, [](GtkWidget*, GdkFrameClock*, gpointer data) -> gboolean {
            *static_cast<bool*>(data) = true;
            return G_SOURCE_REMOVE;
        }, &drawn, nullptr);
        ov::iterateMainUntil([&] { return drawn; }, 2000);
        while (g_main_context_pending(nullptr))
            g_main_context_iteration(nullptr, FALSE);
    }
}

bool waitForLine()
{
    bool ready = false;
    const guint source = g_unix_fd_add(0, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), [](gint, GIOCondition, gpointer data) -> gboolean {
        *static_cast<bool*>(data) = true;
        return G_SOURCE_REMOVE;
    }, &ready);
    ov::iterateMainUntil([&] { return ready; }, 120000);
    if (!ready)
        g_source_remove(source);
    std::string line;
    return ready && std::getline(std::cin, line).good();
}

// The built-in catalogue and the kinds it does not hold, each with an editor of its own.
void addEveryKind(const std::shared_ptr<OVActionsManager>& store, const std::shared_ptr<OVUserDefaults>& defaults)
{
    OVDefaultCatalogue(store, defaults).generateDefaultsIfNeeded();
    OVActionList actions = store->actions();
    auto script = OVAction::action<OVShellScriptAction>();
    script->setTitle("Resize photos");
    actions.push_back(script);
    auto apple = OVAction::action<OVAppleScriptAction>();
    apple->setTitle("Tag photos");
    actions.push_back(apple);
    actions.push_back(OVAction::action<OVResetAppPreferencesAction>());
    store->updateActions(actions);
}

} // namespace

int main()
{
    if (!ov::guiReady()) {
        std::cerr << "no display\n";
        return 77;
    }
    const auto defaults = OVUserDefaults::create();
    const auto store = OVActionsManager::create();
    if (!store)
        return 1;
    addEveryKind(store, defaults);

    // The registry is never asked: the pages show the states set below.
    OVStatusHelper::Environment env;
    env.registryTool = "/bin/true";
    env.runCommand = [](const std::vector<std::string>&) {};
    env.openApplication = [](const std::string&) {};
    env.terminateApplications = [](const std::string&) {};
    auto status = OVStatusHelper::create(std::move(env));

    auto window = HLWindowController::controller<OVMainWindowController>(store, defaults, status);
    window->showWindow();
    auto editor = window->editorModule();

    std::vector<std::pair<std::string, std::function<void()>>> states;
    for (bool on : {true, false})
        states.emplace_back(on ? "status-on" : "status-off", [&, on] {
            window->selectModuleAtRow(OVMainWindowController::kStatusRow);
            status->setIsEnabled(on);
            window->statusModule()->updateUI();
        });
    states.emplace_back("actions", [&] {
        window->selectModuleAtRow(OVMainWindowController::kEditorRow);
        editor->selectRows({});
    });
    for (unsigned row = 0; row < store->actions().size(); ++row)
        states.emplace_back("action-" + std::to_string(row) + " " + store->actions()[row]->title().value_or(""), [&, row] {
            window->selectModuleAtRow(OVMainWindowController::kEditorRow);
            editor->selectRows({row});
        });
    states.emplace_back("preferences", [&] { window->selectModuleAtRow(OVMainWindowController::kPreferencesRow); });
    states.emplace_back("about", [&] { window->selectModuleAtRow(OVMainWindowController::kAboutRow); });
    // Renamed as a user does: the row is read out by its new title.
    states.emplace_back("renamed", [&] {
        window->selectModuleAtRow(OVMainWindowController::kEditorRow);
        editor->selectRows({0});
        gtk_widget_activate_action(editor->view(), "editor.rename", nullptr);
        if (!ov::iterateMainUntil([&] { return editor->isEditingName(0); }, 5000))
            return;
        GtkEntry* field = editor->nameFieldAt(0);
        gtk_editable_set_text(GTK_EDITABLE(field), kNewTitle);
        g_signal_emit_by_name(gtk_editable_get_delegate(GTK_EDITABLE(field)), "activate");
    });

    for (const auto& [name, show] : states) {
        show();
        settle(GTK_WIDGET(window->window()));
        std::cout << "shown " << name << std::endl;
        if (!waitForLine())
            return 1;
    }
    std::cout << "done" << std::endl;
    window->close();
    return 0;
}
