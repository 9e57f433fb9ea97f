// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVEditorModule.h"

#include "menus/OVMenuExplanation.h"
#include "platform/MainContext.h"
#include "platform/ProductPaths.h"
#include "platform/Translation.h"
#include "settings/OVAlert.h"
#include "settings/OVEditorRegistry.h"
#include "settings/OVEditorRow.h"
#include "settings/OVImageIcon.h"
#include "settings/OVTableRows.h"
#include "settings/OVTryMenuWindow.h"
#include "settings/OVFileChoice.h"
#include "settings/OVWeakSignal.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

namespace {

using ovsettings::connectWeak;
using ovsettings::withTarget;

using ovsettings::DraggedRows;

GType actionsTableRowsType() { return ovsettings::draggedRowsType(OVEditorModule::kDragType); }

const DraggedRows* rowsFromValue(const GValue* value) { return ovsettings::draggedRowsFromValue(OVEditorModule::kDragType, value); }

GQuark actionQuark()
{
    static const GQuark quark = g_quark_from_static_string("ov-action");
    return quark;
}

GObject* newActionItem(const OVActionPtr& action)
{
    GObject* item = G_OBJECT(g_object_new(G_TYPE_OBJECT, nullptr));
    g_object_set_qdata_full(item, actionQuark(), new OVActionPtr(action),
                            [](gpointer p) { delete static_cast<OVActionPtr*>(p); });
    return item;
}

OVActionPtr actionOfItem(gpointer item)
{
    auto* action = item ? static_cast<OVActionPtr*>(g_object_get_qdata(G_OBJECT(item), actionQuark())) : nullptr;
    return action ? *action : nullptr;
}

} // namespace

OVEditorModule::OVEditorModule(std::shared_ptr<OVActionsManager> store, std::shared_ptr<OVUserDefaults> defaults)
    : state_(std::move(store), defaults), tableIdentity_(ovsettings::nextTableIdentity()), defaults_(std::move(defaults))
{
    setModuleTitle(_("Manage Actions"));
    setModuleImage(OVImage::named("view-list-symbolic"));
    setModuleIsResizable(true);
}

OVEditorModule::~OVEditorModule()
{
    forgetEditingTextField();
    if (deletionAlert_)
        g_object_remove_weak_pointer(G_OBJECT(deletionAlert_), reinterpret_cast<gpointer*>(&deletionAlert_));
    if (tryWindow_)
        g_object_remove_weak_pointer(G_OBJECT(tryWindow_), reinterpret_cast<gpointer*>(&tryWindow_));
    if (tryChooser_)
        gtk_native_dialog_destroy(GTK_NATIVE_DIALOG(tryChooser_.get()));
}

std::weak_ptr<OVEditorModule> OVEditorModule::weakSelf()
{
    return std::static_pointer_cast<OVEditorModule>(shared_from_this());
}

void OVEditorModule::hl_viewDidLoad()
{
    layout_.setTable(GTK_WIDGET(tableView()));
    kindEditor_.setArea(GTK_BOX(moduleContentView()));
    const auto weak = weakSelf();

    rows_ = ov::GRef<GListStore>(g_list_store_new(G_TYPE_OBJECT));
    selection_ = ov::GRef<GtkMultiSelection>(gtk_multi_selection_new(G_LIST_MODEL(g_object_ref(rows_.get()))));
    ov::GRef<GtkListItemFactory> factory(gtk_signal_list_item_factory_new());
    connectWeak(factory.get(), "setup", G_CALLBACK(+[](GtkListItemFactory*, GtkListItem* item, gpointer data) {
        withTarget<OVEditorModule>(data, "setting up a row", [&](OVEditorModule& m) { m.setUpRow(item); });
    }), weak);
    connectWeak(factory.get(), "bind", G_CALLBACK(+[](GtkListItemFactory*, GtkListItem* item, gpointer data) {
        withTarget<OVEditorModule>(data, "binding a row", [&](OVEditorModule& m) { m.bindRow(item); });
    }), weak);
    connectWeak(factory.get(), "unbind", G_CALLBACK(+[](GtkListItemFactory*, GtkListItem* item, gpointer data) {
        withTarget<OVEditorModule>(data, "unbinding a row", [&](OVEditorModule& m) { m.unbindRow(item); });
    }), weak);
    gtk_list_view_set_factory(tableView(), factory.get());
    gtk_list_view_set_model(tableView(), selectionModel());

    connectWeak(selection_.get(), "selection-changed", G_CALLBACK(+[](GtkSelectionModel*, guint, guint, gpointer data) {
        withTarget<OVEditorModule>(data, "a selection change", [](OVEditorModule& m) {
            m.syncSelection();
            if (!m.reloading_)
                m.tableViewSelectionDidChange();
        });
    }), weak);
    // Double-click (and Return) on a row.
    connectWeak(tableView(), "activate", G_CALLBACK(+[](GtkListView*, guint position, gpointer data) {
        withTarget<OVEditorModule>(data, "a double-click", [&](OVEditorModule& m) { m.didDoubleClickTableView(position); });
    }), weak);
    connectWeak(removeButton(), "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
        withTarget<OVEditorModule>(data, "the remove button", [](OVEditorModule& m) { m.didClickAddRemoveButton(1); });
    }), weak);

    // The context menu as designed; what it shows is rebuilt from these items on every opening.
    contextMenu_.load(G_MENU_MODEL(outlet("editMenu")), GTK_WIDGET(tableView()), [weak] {
        // The chosen item's command runs after the menu closes: forget the click a turn later.
        ov::runOnNextTurn([weak] {
            if (auto m = weak.lock())
                m->state_.setClickedRow(std::nullopt);
        });
    });

    installActions();
    installTableControllers();
    setCurrentModule(nullptr);
    reloadData();
}

void OVEditorModule::installActions()
{
    commands_ = ov::GRef<GSimpleActionGroup>(g_simple_action_group_new());
    const auto weak = weakSelf();
    GActionMap* map = G_ACTION_MAP(commands_.get());
    ovsettings::addCommand(map, "rename", weak, &OVEditorModule::editDisplayName);
    ovsettings::addCommand(map, "move-up", weak, &OVEditorModule::moveUp);
    ovsettings::addCommand(map, "move-down", weak, &OVEditorModule::moveDown);
    ovsettings::addCommand(map, "remove", weak, &OVEditorModule::remove);
    ovsettings::addCommand(map, "try-on-files", weak, &OVEditorModule::tryOnFiles);
    ovsettings::addCommand(map, "try-on-folder", weak, &OVEditorModule::tryOnFolder);
    ov::GRef<GSimpleAction> add(g_simple_action_new("add-action", G_VARIANT_TYPE_INT32));
    connectWeak(add.get(), "activate", G_CALLBACK(+[](GSimpleAction*, GVariant* code, gpointer data) {
        withTarget<OVEditorModule>(data, "adding an action", [&](OVEditorModule& m) {
            m.addAction(code ? g_variant_get_int32(code) : -1);
        });
    }), weak);
    g_action_map_add_action(G_ACTION_MAP(commands_.get()), G_ACTION(add.get()));
    gtk_widget_insert_action_group(view(), "editor", G_ACTION_GROUP(commands_.get()));
}

void OVEditorModule::installTableControllers()
{
    const auto weak = weakSelf();
    GtkWidget* table = GTK_WIDGET(tableView());

    GtkGesture* rightClick = gtk_gesture_click_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(rightClick), GDK_BUTTON_SECONDARY);
    connectWeak(rightClick, "pressed", G_CALLBACK(+[](GtkGestureClick* gesture, int, double x, double y, gpointer data) {
        withTarget<OVEditorModule>(data, "a right-click", [&](OVEditorModule& m) {
            gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_CLAIMED);
            m.popUpContextMenu(m.rowAt(y), x, y);
        });
    }), weak);
    gtk_widget_add_controller(table, GTK_EVENT_CONTROLLER(rightClick));

    GtkEventController* keys = gtk_event_controller_key_new();
    connectWeak(keys, "key-pressed", G_CALLBACK(+[](GtkEventControllerKey*, guint keyval, guint, GdkModifierType state,
                                                     gpointer data) -> gboolean {
        gboolean handled = FALSE;
        withTarget<OVEditorModule>(data, "a key in the table", [&](OVEditorModule& m) {
            const bool plain = (state & gtk_accelerator_get_default_mod_mask()) == 0;
            if (plain && (keyval == GDK_KEY_BackSpace || keyval == GDK_KEY_Delete || keyval == GDK_KEY_KP_Delete)) {
                m.tableViewDeleteFromKeyboard();
                handled = TRUE;
            }
        });
        return handled;
    }), weak);
    gtk_widget_add_controller(table, keys);

    GtkDropTarget* drop = gtk_drop_target_new(actionsTableRowsType(), GDK_ACTION_MOVE);
    gtk_drop_target_set_preload(drop, TRUE);
    connectWeak(drop, "motion", G_CALLBACK(+[](GtkDropTarget* target, double x, double y, gpointer data) -> GdkDragAction {
        GdkDragAction answer = GdkDragAction(0);
        withTarget<OVEditorModule>(data, "a drag over the table", [&](OVEditorModule& m) {
            auto location = m.dropLocationAt(x, y);
            const GValue* value = gtk_drop_target_get_value(target);
            // Until the payload has arrived only the place can be judged.
            const bool ok = location && (value ? m.validateDrop(value, location->row, location->operation)
                                               : location->operation == DropOperation::Above);
            m.showDropIndicator(ok ? location : std::nullopt);
            answer = ok ? GDK_ACTION_MOVE : GdkDragAction(0);
        });
        return answer;
    }), weak);
    connectWeak(drop, "leave", G_CALLBACK(+[](GtkDropTarget*, gpointer data) {
        withTarget<OVEditorModule>(data, "a drag leaving the table", [](OVEditorModule& m) { m.showDropIndicator(std::nullopt); });
    }), weak);
    connectWeak(drop, "drop", G_CALLBACK(+[](GtkDropTarget*, const GValue* value, double x, double y, gpointer data) -> gboolean {
        gboolean accepted = FALSE;
        withTarget<OVEditorModule>(data, "a drop on the table", [&](OVEditorModule& m) {
            m.showDropIndicator(std::nullopt);
            auto location = m.dropLocationAt(x, y);
            if (!location) {
                m.reloadData();
                return;
            }
            accepted = m.acceptDrop(value, location->row, location->operation);
        });
        return accepted;
    }), weak);
    gtk_widget_add_controller(table, GTK_EVENT_CONTROLLER(drop));
}

// Rows ------------------------------------------------------------------------------------------

void OVEditorModule::setUpRow(GtkListItem* item)
{
    OVEditorRow::create(item, std::weak_ptr<OVEditorRowDelegate>(weakSelf()));
}

void OVEditorModule::bindRow(GtkListItem* item)
{
    OVEditorRow* row = OVEditorRow::ofWidget(gtk_list_item_get_child(item));
    if (!row)
        return;
    row->action = actionOfItem(gtk_list_item_get_item(item));
    if (!row->action)
        return;
    row->showAction();
    layout_.addBoundRow(row);

    if (pendingFocusRow_ && *pendingFocusRow_ == row->position() && state_.actionAt(row->position()) == row->action) {
        pendingFocusRow_.reset();
        // Not inside the list's layout: on the next turn, if the row still shows that action.
        std::weak_ptr<OVEditorModule> weak = weakSelf();
        const OVActionPtr action = row->action;
        const unsigned position = row->position();
        ov::runOnNextTurn([weak, action, position] {
            auto m = weak.lock();
            if (!m)
                return;
            if (OVEditorRow* shown = m->rowViewAt(position); shown && shown->action == action)
                m->beginEditing(*shown);
        });
    }
}

void OVEditorModule::unbindRow(GtkListItem* item)
{
    OVEditorRow* row = OVEditorRow::ofWidget(gtk_list_item_get_child(item));
    if (!row)
        return;
    // A rename still open belongs to the action it was started on.
    if (row->editing) {
        unbinding_ = true;
        endEditing(*row, false);
        unbinding_ = false;
    }
    layout_.unbindRow(row);
    row->action.reset();
}

void OVEditorModule::forgetRow(OVEditorRow* row) { layout_.forgetRow(row); }

GtkLabel* OVEditorModule::nameLabelAt(unsigned row) const
{
    OVEditorRow* r = rowViewAt(row);
    return r ? r->nameLabel : nullptr;
}

GtkEntry* OVEditorModule::nameFieldAt(unsigned row) const
{
    OVEditorRow* r = rowViewAt(row);
    return r ? r->nameEntry : nullptr;
}

bool OVEditorModule::isEditingName(unsigned row) const
{
    OVEditorRow* r = rowViewAt(row);
    return r && r->editing;
}

GtkSwitch* OVEditorModule::switchAt(unsigned row) const
{
    OVEditorRow* r = rowViewAt(row);
    return r ? r->toggle : nullptr;
}

// Table ------------------------------------------------------------------------------------------

void OVEditorModule::reloadData()
{
    // An open rename is applied before its row is rebound to another action.
    commitEditing();
    const OVActionList actions = state_.actions();
    // The same item for the same action: the list then keeps its row instead of building a new
    // one, which is what makes reloading a long list cheap.
    std::unordered_map<const OVAction*, ov::GRef<GObject>> items;
    std::vector<GObject*> ordered;
    ordered.reserve(actions.size());
    for (const auto& action : actions) {
        auto& slot = items[action.get()];
        if (!slot) {
            auto known = actionItems_.find(action.get());
            slot = known != actionItems_.end() ? std::move(known->second) : ov::GRef<GObject>(newActionItem(action));
        }
        ordered.push_back(slot.get());
    }
    // Like a table reload: the selected row numbers stay selected while they exist.
    const std::vector<unsigned> kept = state_.rowsKeptByReload();
    reloading_ = true;
    const guint old = g_list_model_get_n_items(G_LIST_MODEL(rows_.get()));
    g_list_store_splice(rows_.get(), 0, old, reinterpret_cast<gpointer*>(ordered.data()), guint(ordered.size()));
    actionItems_ = std::move(items);
    // Rows kept across the reload show what their action holds now.
    for (OVEditorRow* row : layout_.boundRows())
        if (row->action)
            row->showAction();
    selectRows(kept);
    reloading_ = false;
    tableViewSelectionDidChange();
}

void OVEditorModule::reloadDataAndSelectLastRow()
{
    reloadData();
    selectRows(state_.lastRowSelection());
}

void OVEditorModule::selectRows(const std::vector<unsigned>& rows)
{
    ovsettings::selectRows(selectionModel(), rows);
    syncSelection();
}

void OVEditorModule::syncSelection() { state_.setSelectedRows(ovsettings::selectedRows(selectionModel())); }

void OVEditorModule::tableViewSelectionDidChange()
{
    validateSelection();
    OVActionPtr action = state_.selectedAction();
    // A reload that keeps the same action selected keeps its editor.
    if (action == state_.shownAction() && currentModule())
        return;
    state_.setShownAction(action);
    setCurrentModule(action ? OVEditorRegistry::viewControllerForAction(action, state_.store()) : nullptr);
    kindEditor_.showCountsOf(action, state_.store());
}

void OVEditorModule::validateSelection()
{
    gtk_widget_set_sensitive(GTK_WIDGET(removeButton()), state_.canRemoveSelection());
}

// Commands ---------------------------------------------------------------------------------------

void OVEditorModule::didClickAddRemoveButton(int segment)
{
    if (segment == 0)
        gtk_menu_button_popup(addButton());
    else
        deleteSelectedGroups();
}

void OVEditorModule::didDoubleClickTableView(unsigned row)
{
    const std::vector<unsigned> targets = targetRows();
    const unsigned first = targets.empty() ? row : targets.front();
    if (OVEditorRow* shown = rowViewAt(first))
        beginEditing(*shown);
}

void OVEditorModule::editDisplayName()
{
    const std::vector<unsigned> targets = targetRows();
    if (targets.empty()) {
        gtk_widget_error_bell(GTK_WIDGET(tableView()));
        return;
    }
    focusNameFieldWhenShown(targets.front());
}

void OVEditorModule::moveUp() { move(-1); }
void OVEditorModule::moveDown() { move(+1); }

void OVEditorModule::move(int delta)
{
    const auto selection = state_.move(delta);
    if (!selection) {
        gtk_widget_error_bell(GTK_WIDGET(tableView()));
        return;
    }
    showSelection(*selection);
}

void OVEditorModule::showSelection(const std::vector<unsigned>& rows)
{
    reloadData();
    selectRows(rows);
}

void OVEditorModule::didToggleEnabled(OVEditorRow& row, bool on) { state_.setEnabled(row.action, on); }

void OVEditorModule::addAction(int code)
{
    state_.add(code);
    // Not saved yet: the name typed next (or the next change) saves it.
    reloadDataAndSelectLastRow();
    if (const std::size_t count = numberOfRows())
        focusNameFieldWhenShown(unsigned(count - 1));
}

void OVEditorModule::deleteSelectedGroups()
{
    forgetEditingTextField();
    const OVActionList victims = state_.targetActions();
    if (victims.empty()) {
        gtk_widget_error_bell(GTK_WIDGET(tableView()));
        return;
    }
    if (!state_.asksBeforeDeleting()) {
        deleteActions(victims);
        return;
    }
    if (deletionAlert_) // one question at a time
        return;
    std::weak_ptr<OVEditorModule> weak = weakSelf();
    ov::runOnNextTurn([weak, victims] {
        auto m = weak.lock();
        if (!m || m->deletionAlert_)
            return;
        ovsettings::OVAlertRequest request;
        request.messageText = _("Are you sure you want to delete this action?");
        request.informativeText = _("This action can not be undone.");
        request.buttons = {_("Delete"), _("Cancel")};
        request.showsSuppressionButton = true;
        request.destructiveButton = 0;
        request.cancelButton = 1;
        m->deletionAlert_ = ovsettings::beginAlert(m->parentWindow(), nullptr, request, [weak, victims](int response, bool suppress) {
            auto m = weak.lock();
            if (!m || response != 0)
                return;
            m->state_.confirmDeletion(victims, suppress);
            m->reloadData();
        });
        g_object_add_weak_pointer(G_OBJECT(m->deletionAlert_), reinterpret_cast<gpointer*>(&m->deletionAlert_));
    });
}

void OVEditorModule::deleteActions(const OVActionList& victims)
{
    state_.deleteActions(victims);
    reloadData();
}

// Renaming ---------------------------------------------------------------------------------------

void OVEditorModule::beginEditing(OVEditorRow& row)
{
    if (row.editing || !row.action)
        return;
    if (!OVEditorState::canRename(*row.action)) {
        gtk_widget_error_bell(GTK_WIDGET(tableView()));
        return;
    }
    OVEditorRow* target = &row;
    const auto& bound = layout_.boundRows();
    if (std::any_of(bound.begin(), bound.end(), [](const OVEditorRow* r) { return r->editing; })) {
        // Ending the other rename may drop its action and rebind every row: find ours again.
        const OVActionPtr wanted = row.action;
        commitEditing();
        const auto& rebound = layout_.boundRows();
        auto it = std::find_if(rebound.begin(), rebound.end(), [&](const OVEditorRow* r) { return r->action == wanted; });
        if (it == rebound.end()) {
            if (auto position = state_.rowOfAction(wanted))
                focusNameFieldWhenShown(*position);
            return;
        }
        target = *it;
    }
    forgetEditingTextField();
    editingTextField_ = target->nameField();
    g_object_add_weak_pointer(G_OBJECT(editingTextField_), reinterpret_cast<gpointer*>(&editingTextField_));
    target->showNameField();
}

void OVEditorModule::endEditing(OVEditorRow& row, bool focusLeft)
{
    if (!row.hideNameField())
        return;
    // Losing focus happens inside GTK's focus change: the table is reloaded a turn later.
    didEditActionName(row, !reloading_ && !unbinding_ && !focusLeft);
}

void OVEditorModule::focusNameFieldWhenShown(unsigned row)
{
    const OVActionPtr action = state_.actionAt(row);
    if (!action)
        return;
    // A row widget may still show what stood at that place before a reload.
    if (OVEditorRow* shown = rowViewAt(row); shown && shown->action == action) {
        pendingFocusRow_.reset();
        beginEditing(*shown);
        return;
    }
    pendingFocusRow_ = row;
    gtk_widget_activate_action(GTK_WIDGET(tableView()), "list.scroll-to-item", "u", row);
}

void OVEditorModule::didEditActionName(OVEditorRow& row, bool shouldReload)
{
    const OVActionPtr action = row.action;
    switch (state_.rename(action, gtk_editable_get_text(GTK_EDITABLE(row.nameEntry)))) {
    case OVEditorState::Renamed::NotListed:
        break;
    case OVEditorState::Renamed::Titled:
    case OVEditorState::Renamed::Kept:
        gtk_label_set_text(row.nameLabel, action->title()->c_str());
        break;
    case OVEditorState::Renamed::Removed:
        if (shouldReload) {
            reloadDataAndSelectLastRow();
        } else {
            // Not from inside the list's own update: the table catches up on the next turn.
            std::weak_ptr<OVEditorModule> weak = weakSelf();
            ov::runOnNextTurn([weak] {
                if (auto m = weak.lock())
                    m->reloadDataAndSelectLastRow();
            });
        }
        break;
    }
    forgetEditingTextField();
}

void OVEditorModule::commitEditing()
{
    std::vector<OVEditorRow*> open;
    for (OVEditorRow* row : layout_.boundRows())
        if (row->editing)
            open.push_back(row);
    for (OVEditorRow* row : open)
        endEditing(*row, false);
    forgetEditingTextField();
}

void OVEditorModule::flushPendingChanges(bool wait)
{
    commitEditing();
    kindEditor_.flushPendingChanges(wait);
}

void OVEditorModule::forgetEditingTextField()
{
    if (editingTextField_)
        g_object_remove_weak_pointer(G_OBJECT(editingTextField_), reinterpret_cast<gpointer*>(&editingTextField_));
    editingTextField_ = nullptr;
}

// Context menu -----------------------------------------------------------------------------------

void OVEditorModule::menuNeedsUpdate() { contextMenu_.update(state_.contextMenu()); }

void OVEditorModule::popUpContextMenu(std::optional<unsigned> row, double x, double y)
{
    if (row) {
        const std::vector<unsigned> selected = selectedRows();
        if (std::find(selected.begin(), selected.end(), *row) == selected.end())
            selectRows({*row});
    }
    state_.setClickedRow(row);
    menuNeedsUpdate();
    if (!contextMenu_.popUp(x, y))
        state_.setClickedRow(std::nullopt);
}

// Dragging ---------------------------------------------------------------------------------------

GdkContentProvider* OVEditorModule::writeRowsWithIndexes(const std::vector<unsigned>& rows) const
{
    return ovsettings::draggedRowsProvider(kDragType, {tableIdentity_, rows});
}

GdkContentProvider* OVEditorModule::dragContentFrom(OVEditorRow& row)
{
    const std::vector<unsigned> rows = state_.rowsDraggedFrom(row.position());
    commitEditing();
    return writeRowsWithIndexes(rows);
}

bool OVEditorModule::validateDrop(const GValue* value, unsigned row, DropOperation operation) const
{
    const DraggedRows* payload = rowsFromValue(value);
    // Row numbers only mean something in the table they were taken from.
    if (!payload || payload->table != tableIdentity_)
        return false;
    return state_.canDrop(payload->rows, row, operation);
}

bool OVEditorModule::acceptDrop(const GValue* value, unsigned row, DropOperation operation)
{
    commitEditing();
    const auto moved = validateDrop(value, row, operation) ? state_.drop(rowsFromValue(value)->rows, row, operation)
                                                           : std::nullopt;
    if (!moved) {
        // Whatever the drag showed, the table shows the store again.
        reloadData();
        return false;
    }
    showSelection(*moved);
    return true;
}

std::optional<unsigned> OVEditorModule::rowAt(double y) const { return layout_.rowAt(y, numberOfRows()); }

std::optional<OVEditorModule::DropLocation> OVEditorModule::dropLocationAt(double, double y) const
{
    return layout_.dropLocationAt(y, numberOfRows());
}

void OVEditorModule::showDropIndicator(const std::optional<DropLocation>& location)
{
    layout_.showDropIndicator(location, numberOfRows());
}

// Kind editor ------------------------------------------------------------------------------------

void OVEditorModule::setCurrentModule(std::shared_ptr<HLModuleViewController> module)
{
    kindEditor_.setCurrentModule(std::move(module));
}

void OVEditorModule::tryOnFiles() { chooseTrialFiles(false); }

void OVEditorModule::tryOnFolder() { chooseTrialFiles(true); }

void OVEditorModule::chooseTrialFiles(bool background)
{
    if (tryChooser_)
        return;
    tryChooser_ = ov::GRef<GtkFileChooserNative>(gtk_file_chooser_native_new(
        background ? _("Choose a folder whose background menu to try") : _("Choose files to try the menu on"),
        parentWindow(), background ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER : GTK_FILE_CHOOSER_ACTION_OPEN, _("Try"),
        _("Cancel")));
    gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(tryChooser_.get()), !background);
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(tryChooser_.get()), TRUE);
    g_object_set_data(G_OBJECT(tryChooser_.get()), "ov-background", GINT_TO_POINTER(background));
    connectWeak(tryChooser_.get(), "response", G_CALLBACK(+[](GtkNativeDialog* dialog, int response, gpointer data) {
        withTarget<OVEditorModule>(data, "choosing files to try", [&](OVEditorModule& m) {
            std::vector<std::string> paths = ovsettings::chosenPaths(dialog, response);
            const bool background = g_object_get_data(G_OBJECT(dialog), "ov-background") != nullptr;
            gtk_native_dialog_hide(dialog);
            auto keep = std::move(m.tryChooser_);
            m.tryOnPaths(std::move(paths), background);
        });
    }), weakSelf());
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(tryChooser_.get()));
}

void OVEditorModule::tryOnPaths(std::vector<std::string> paths, bool background)
{
    if (paths.empty())
        return;
    if (background)
        paths.resize(1);
    if (!tryQueue_)
        tryQueue_ = ov::SerialQueue::create(std::string(ov::kVendorPrefix) + ".tryqueue");
    std::weak_ptr<OVEditorModule> weak = weakSelf();
    tryQueue_->async([weak, background, paths = std::move(paths)] {
        auto items = OVMenuExplanation::itemsOnDisk(paths);
        ov::invokeOnMain([weak, background, items = std::move(items)] {
            if (auto m = weak.lock())
                ov::guarded("showing a trial", [&] { m->showTrial(items, background); });
        });
    });
}

void OVEditorModule::showTrial(const std::vector<FinderSync::Item>& items, bool background)
{
    // The list as edited here, and the preferences this window shows.
    auto finderSync = FinderSync::createDetached(state_.actions(), defaults_);
    OVTryMenuWindow::Subject subject{{}, background};
    for (const auto& item : items)
        subject.paths.push_back(item.path);
    if (background)
        finderSync->setSelectionItems({}, items.front());
    else
        finderSync->setSelectionItems(items, std::nullopt);
    const auto kind = background ? FIMenuKind::ContextualMenuForContainer : FIMenuKind::ContextualMenuForItems;
    const OVMenuExplanation explanation = OVMenuExplanation::explain(*finderSync, kind);

    if (GtkWindow* previous = std::exchange(tryWindow_, nullptr)) {
        g_object_remove_weak_pointer(G_OBJECT(previous), reinterpret_cast<gpointer*>(&tryWindow_));
        gtk_window_destroy(previous);
    }
    tryWindow_ = OVTryMenuWindow::present(explanation, subject, parentWindow());
    g_object_add_weak_pointer(G_OBJECT(tryWindow_), reinterpret_cast<gpointer*>(&tryWindow_));
}
