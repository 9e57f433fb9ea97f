// SPDX-License-Identifier: GPL-3.0-or-later
// Trying the action list on files from the "Manage Actions" page: the window lists the menu those
// files would get and each action left out with its reason, for the list as edited.
#include "SettingsTestSupport.h"

#include "model/OVMoveActionGroup.h"
#include "model/OVMoveToAction.h"
#include "platform/PluginRegistry.h"
#include "settings/OVEditorModule.h"
#include "settings/OVTryMenuWindow.h"

#include <adwaita.h>

namespace {

struct Row {
    std::string title;
    std::string detail;
    int level = 0;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Row& r)
{
    return os << "{" << r.level << " '" << r.title << "' '" << r.detail << "'}";
}

OVActionPtr makeAction(const std::string& title, std::optional<OVStringList> fileTypes = std::nullopt, bool enabled = true)
{
    auto action = OVAction::action<OVMoveToAction>();
    action->setTitle(title);
    action->setFileTypes(std::move(fileTypes));
    action->setEnabled(enabled);
    return action;
}

GtkWidget* findNamed(GtkWidget* widget, const std::string& name)
{
    if (name == gtk_widget_get_name(widget))
        return widget;
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child))
        if (GtkWidget* found = findNamed(child, name))
            return found;
    return nullptr;
}

void collectLabels(GtkWidget* widget, std::vector<std::string>& texts)
{
    if (GTK_IS_LABEL(widget) && gtk_widget_get_visible(widget))
        texts.emplace_back(gtk_label_get_text(GTK_LABEL(widget)));
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child))
        collectLabels(child, texts);
}

// The rows of one of the window's lists as drawn: the title and subtitle labels' text (markup
// applied, if any) and the indent level.
std::vector<Row> rowsOf(GtkWindow* window, const char* listName)
{
    std::vector<Row> rows;
    GtkWidget* list = findNamed(GTK_WIDGET(window), listName);
    if (!list)
        return rows;
    for (int i = 0; GtkListBoxRow* r = gtk_list_box_get_row_at_index(GTK_LIST_BOX(list), i); ++i) {
        std::vector<std::string> labels;
        collectLabels(GTK_WIDGET(r), labels);
        Row row;
        row.title = labels.size() > 0 ? labels[0] : "";
        row.detail = labels.size() > 1 ? labels[1] : "";
        row.level = gtk_widget_get_margin_start(GTK_WIDGET(r)) / OVTryMenuWindow::kIndentPerLevel;
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> windowTexts(GtkWindow* window)
{
    std::vector<std::string> texts;
    collectLabels(GTK_WIDGET(window), texts);
    return texts;
}

class TryMenu : public settingstest::SettingsTest {
protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        if (IsSkipped())
            return;
        folder_ = home_->makeFolder("work");
        photo_ = home_->writeFile("work/photo.png", "p");
        notes_ = home_->writeFile("work/notes.txt", "n");
        auto docs = makeAction("Documents");
        auto move = OVAction::action<OVMoveActionGroup>();
        move->setTitle("Move to a folder");
        move->updateActions({docs, makeAction("Off inside", std::nullopt, false)});
        store_ = OVActionsManager::create();
        ASSERT_TRUE(store_);
        store_->updateActions({makeAction("Plain"), move, makeAction("Shrink", OVStringList{"image/*"}),
                               makeAction("Off", std::nullopt, false), makeAction("Folders only", OVStringList{"inode/directory"})});
        store_->actuallySave();
        editor_ = HLViewController::controller<OVEditorModule>(store_, defaults_);
        showInWindow(editor_->view());
    }

    void TearDown() override
    {
        for (GtkWindow* w : trialWindows())
            gtk_window_destroy(w);
        editor_.reset();
        SettingsTest::TearDown();
    }

    static std::vector<GtkWindow*> trialWindows()
    {
        std::vector<GtkWindow*> found;
        GListModel* toplevels = gtk_window_get_toplevels();
        for (guint i = 0; i < g_list_model_get_n_items(toplevels); ++i) {
            ov::GRef<GObject> item(G_OBJECT(g_list_model_get_item(toplevels, i)));
            const char* title = gtk_window_get_title(GTK_WINDOW(item.get()));
            if (title && std::string(title) == "Try on Files" && gtk_widget_get_visible(GTK_WIDGET(item.get())))
                found.push_back(GTK_WINDOW(item.get()));
        }
        return found;
    }

    // Tries the paths and waits for a new answer window.
    GtkWindow* tryOn(std::vector<std::string> paths, bool background)
    {
        // A new window may take the old one's address: the old one is marked.
        if (GtkWindow* before = editor_->tryWindow())
            g_object_set_data(G_OBJECT(before), "tried-before", GINT_TO_POINTER(1));
        editor_->tryOnPaths(std::move(paths), background);
        EXPECT_TRUE(ovtest::pumpUntil([&] {
            return editor_->tryWindow() && !g_object_get_data(G_OBJECT(editor_->tryWindow()), "tried-before");
        }));
        settle();
        return editor_->tryWindow();
    }

    std::shared_ptr<OVActionsManager> store_;
    std::shared_ptr<OVEditorModule> editor_;
    std::string folder_, photo_, notes_;
};

// Files get their context menu, groups indented under the Orvane item; every other action is
// listed with the reason the menu itself gives.
TEST_F(TryMenu, ListsTheMenuAndEachLeftOutActionWithItsReason)
{
    GtkWindow* window = tryOn({photo_, notes_}, false);
    ASSERT_TRUE(window);
    EXPECT_EQ(rowsOf(window, OVTryMenuWindow::kShownListName),
              (std::vector<Row>{{"Orvane", "", 0}, {"Plain", "", 1}, {"Move to a folder", "", 1}, {"Documents", "", 2}}));
    EXPECT_EQ(rowsOf(window, OVTryMenuWindow::kLeftOutListName),
              (std::vector<Row>{{"Move to a folder/Off inside", "it is turned off", 0},
                                {"Shrink", "'" + notes_ + "' is of type text/plain, and the action is only for image/*", 0},
                                {"Off", "it is turned off", 0},
                                {"Folders only", "'" + photo_ + "' is of type image/png, and the action is only for inode/directory", 0}}));
    const auto texts = windowTexts(window);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "2 items"), texts.end());

    // Without the submenu preference the actions stand at the top.
    defaults_->setUseSubmenu(false);
    window = tryOn({photo_}, false);
    ASSERT_TRUE(window);
    EXPECT_EQ(rowsOf(window, OVTryMenuWindow::kShownListName),
              (std::vector<Row>{{"Plain", "", 0}, {"Move to a folder", "", 0}, {"Documents", "", 1}, {"Shrink", "", 0}}));
    // A new answer replaces the old window.
    EXPECT_EQ(int(trialWindows().size()), 1);
}

// A folder stands for its background: its own type decides, and nothing is selected.
TEST_F(TryMenu, AFolderGivesItsBackgroundMenu)
{
    GtkWindow* window = tryOn({folder_}, true);
    ASSERT_TRUE(window);
    EXPECT_EQ(rowsOf(window, OVTryMenuWindow::kShownListName),
              (std::vector<Row>{{"Orvane", "", 0}, {"Plain", "", 1}, {"Move to a folder", "", 1}, {"Documents", "", 2},
                                {"Folders only", "", 1}}));
    const auto leftOut = rowsOf(window, OVTryMenuWindow::kLeftOutListName);
    EXPECT_NE(std::find(leftOut.begin(), leftOut.end(),
                        Row{"Shrink", "'" + folder_ + "' is of type inode/directory, and the action is only for image/*", 0}),
              leftOut.end());
    const auto texts = windowTexts(window);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Background Menu"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "work"), texts.end());
}

// The list as edited counts, saved or not; the extension's own switch is the real one.
TEST_F(TryMenu, UsesTheUnsavedListAndTheExtensionSwitch)
{
    store_->actions()[0]->setEnabled(false); // not saved
    GtkWindow* window = tryOn({notes_}, false);
    ASSERT_TRUE(window);
    const auto leftOut = rowsOf(window, OVTryMenuWindow::kLeftOutListName);
    ASSERT_FALSE(leftOut.empty());
    EXPECT_EQ(leftOut.front(), (Row{"Plain", "it is turned off", 0}));
    EXPECT_TRUE(OVActionsManager::create()->actions()[0]->enabled()) << "trying saves nothing";

    ASSERT_TRUE(ov::setPluginElection(ov::kExtensionId, ov::PluginElection::Ignore));
    window = tryOn({notes_}, false);
    ASSERT_TRUE(window);
    EXPECT_EQ(rowsOf(window, OVTryMenuWindow::kShownListName), std::vector<Row>{});
    EXPECT_EQ(rowsOf(window, OVTryMenuWindow::kLeftOutListName), std::vector<Row>{});
    const auto texts = windowTexts(window);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Nothing is shown: the Orvane extension is turned off in Orvane."),
              texts.end());
}

// Titles and file names are shown as they are: not as markup, and bytes that are not text as
// replacement characters.
TEST_F(TryMenu, ShowsTitlesAndNamesAsPlainText)
{
    store_->updateActions({makeAction("<i>a</i> &amp; \xff b"), makeAction("Bad \xff name", OVStringList{"image/*"})});
    const std::string odd = home_->writeFile("work/<b>\xfe.txt", "x");
    GtkWindow* window = tryOn({odd}, false);
    ASSERT_TRUE(window);
    EXPECT_EQ(rowsOf(window, OVTryMenuWindow::kShownListName),
              (std::vector<Row>{{"Orvane", "", 0}, {"<i>a</i> &amp; \xEF\xBF\xBD b", "", 1}}));
    const std::string shownPath = folder_ + "/<b>\xEF\xBF\xBD.txt";
    const auto leftOut = rowsOf(window, OVTryMenuWindow::kLeftOutListName);
    ASSERT_EQ(leftOut.size(), 1u);
    EXPECT_EQ(leftOut[0].title, "Bad \xEF\xBF\xBD name");
    EXPECT_NE(leftOut[0].detail.find("'" + shownPath + "' is of type"), std::string::npos) << leftOut[0].detail;
}

// Cancelling the chooser, or choosing nothing, opens nothing.
TEST_F(TryMenu, CancellingTheChooserDoesNothing)
{
    for (const char* command : {"editor.try-on-files", "editor.try-on-folder"}) {
        ASSERT_TRUE(gtk_widget_activate_action(editor_->view(), command, nullptr));
        ASSERT_TRUE(editor_->tryChooser());
        g_signal_emit_by_name(editor_->tryChooser(), "response", int(GTK_RESPONSE_CANCEL));
        EXPECT_FALSE(editor_->tryChooser());
    }
    editor_->tryOnPaths({}, false);
    settle();
    EXPECT_FALSE(editor_->tryWindow());
    EXPECT_EQ(int(trialWindows().size()), 0);
}

} // namespace
