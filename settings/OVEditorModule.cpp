#include "settings/OVEditorModule.h"

#include "model/OVActionsManager.h"
#include "model/OVBundledScriptAction.h"
#include "model/OVCopyActionGroup.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVOpenWithActionGroup.h"
#include "model/OVResetAppPreferencesAction.h"
#include "model/OVShellScriptAction.h"
#include "model/OVTypes.h"
#include "model/OVUnknownAction.h"
#include "model/OVUserDefaults.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "settings/OVActionModuleViewController.h"
#include "settings/OVAlert.h"
#include "settings/OVEditorRegistry.h"
#include "settings/OVEmptyModule.h"
#include "settings/OVImageIcon.h"
#include "settings/OVModuleSwitch.h"
#include "settings/OVTableRows.h"
#include "settings/OVWeakSignal.h"

#include <algorithm>
#include <unordered_map>

// One drawn row of the table, shared by its row widget and the handlers of its widgets. The list
// rebinds rows, so the action it shows changes with every bind.
struct OVEditorRow {
    std::weak_ptr<OVEditorRow> self;
    std::weak_ptr<OVEditorModule> module;
    GtkListItem* item = nullptr;
    GtkWidget* box = nullptr;
    GtkImage* image = nullptr;
    GtkStack* nameStack = nullptr; // shows the label, or the entry while renaming
    GtkLabel* nameLabel = nullptr;
    GtkEntry* nameEntry = nullptr; // made on the first rename: most rows never need one
    GtkSwitch* toggle = nullptr;
    OVActionPtr action;
    bool binding = false; // the switch is being set from the action, not by the user
    bool editing = false;
    bool alive = true;    // false once the row widget is gone (a focused entry can outlive it)

    unsigned position() const { return gtk_list_item_get_position(item); }
};

namespace {

using ovsettings::connectWeak;
using ovsettings::withTarget;

constexpr const char* kRowKey = "ov-editor-row";

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

using RowPtr = std::shared_ptr<OVEditorRow>;

OVEditorRow* rowOfWidget(GtkWidget* widget)
{
    auto* row = widget ? static_cast<RowPtr*>(g_object_get_data(G_OBJECT(widget), kRowKey)) : nullptr;
    return row && (*row)->alive ? row->get() : nullptr;
}

// Every handler of a row's widgets shares the row, which lives until the last of them is gone.
void connectRow(gpointer instance, const char* signal, GCallback callback, const RowPtr& row)
{
    g_signal_connect_data(instance, signal, callback, new RowPtr(row),
                          [](gpointer data, GClosure*) { delete static_cast<RowPtr*>(data); }, GConnectFlags(0));
}

OVEditorRow* liveRow(gpointer data)
{
    OVEditorRow* row = static_cast<RowPtr*>(data)->get();
    return row->alive ? row : nullptr;
}

std::string trimmed(const char* text)
{
    ov::GCharPtr copy(g_strdup(text ? text : ""));
    return g_strstrip(copy.get());
}

bool hasTitle(const OVAction& action) { return action.title() && !action.title()->empty(); }

void installDropIndicatorStyle()
{
    static bool installed = false;
    GdkDisplay* display = gdk_display_get_default();
    if (installed || !display)
        return;
    installed = true;
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider,
                                    ".ov-drop-above { box-shadow: inset 0 2px @accent_bg_color; }\n"
                                    ".ov-drop-below { box-shadow: inset 0 -2px @accent_bg_color; }\n",
                                    -1);
    gtk_style_context_add_provider_for_display(display, GTK_STYLE_PROVIDER(provider),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
}

} // namespace

OVEditorModule::OVEditorModule(std::shared_ptr<OVActionsManager> store, std::shared_ptr<OVUserDefaults> defaults)
    : store_(std::move(store)), defaults_(std::move(defaults)), tableIdentity_(ovsettings::nextTableIdentity())
{
    setModuleTitle("Manage Actions");
    setModuleImage(OVImage::named("view-list-symbolic"));
    setModuleIsResizable(true);
}

OVEditorModule::~OVEditorModule()
{
    forgetEditingTextField();
    if (deletionAlert_)
        g_object_remove_weak_pointer(G_OBJECT(deletionAlert_), reinterpret_cast<gpointer*>(&deletionAlert_));
    if (dropIndicatorRow_)
        g_object_remove_weak_pointer(G_OBJECT(dropIndicatorRow_), reinterpret_cast<gpointer*>(&dropIndicatorRow_));
    if (contextMenu_)
        gtk_widget_unparent(GTK_WIDGET(contextMenu_));
    boundRows_.clear();
}

std::weak_ptr<OVEditorModule> OVEditorModule::weakSelf()
{
    return std::static_pointer_cast<OVEditorModule>(shared_from_this());
}

void OVEditorModule::hl_viewDidLoad()
{
    installDropIndicatorStyle();
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
    GMenuModel* designed = G_MENU_MODEL(outlet("editMenu"));
    for (int i = 0, n = designed ? g_menu_model_get_n_items(designed) : 0; i < n; ++i)
        menuItemsArray_.emplace_back(g_menu_item_new_from_model(designed, i));
    editMenu_ = ov::GRef<GMenu>(g_menu_new());
    contextMenu_ = GTK_POPOVER(gtk_popover_menu_new_from_model(G_MENU_MODEL(editMenu_.get())));
    gtk_popover_set_has_arrow(contextMenu_, FALSE);
    gtk_widget_set_halign(GTK_WIDGET(contextMenu_), GTK_ALIGN_START);
    gtk_widget_set_parent(GTK_WIDGET(contextMenu_), GTK_WIDGET(tableView()));
    connectWeak(contextMenu_, "closed", G_CALLBACK(+[](GtkPopover*, gpointer data) {
        // The chosen item's command runs after the menu closes: forget the click a turn later.
        auto weak = *static_cast<std::weak_ptr<OVEditorModule>*>(data);
        ov::runOnNextTurn([weak] {
            if (auto m = weak.lock())
                m->clickedRow_.reset();
        });
    }), weak);

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
    auto row = std::make_shared<OVEditorRow>();
    row->self = row;
    row->module = weakSelf();
    row->item = item;
    row->box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_margin_top(row->box, 2);
    gtk_widget_set_margin_bottom(row->box, 2);
    row->image = GTK_IMAGE(gtk_image_new());
    gtk_image_set_pixel_size(row->image, OVImage::displaySize);
    // A label, and an entry in its place while renaming. (GtkEditableLabel of GTK 4.8 ends its
    // editing from a timer that outlives a row destroyed within 100 ms of losing focus.)
    row->nameLabel = GTK_LABEL(gtk_label_new(""));
    gtk_label_set_xalign(row->nameLabel, 0);
    gtk_label_set_ellipsize(row->nameLabel, PANGO_ELLIPSIZE_END);
    row->nameStack = GTK_STACK(gtk_stack_new());
    gtk_widget_set_hexpand(GTK_WIDGET(row->nameStack), TRUE);
    gtk_stack_add_child(row->nameStack, GTK_WIDGET(row->nameLabel));
    gtk_stack_set_visible_child(row->nameStack, GTK_WIDGET(row->nameLabel));
    row->toggle = GTK_SWITCH(gtk_switch_new());
    gtk_widget_set_valign(GTK_WIDGET(row->toggle), GTK_ALIGN_CENTER);
    gtk_box_append(GTK_BOX(row->box), GTK_WIDGET(row->image));
    gtk_box_append(GTK_BOX(row->box), GTK_WIDGET(row->nameStack));
    gtk_box_append(GTK_BOX(row->box), GTK_WIDGET(row->toggle));
    g_object_set_data_full(G_OBJECT(row->box), kRowKey, new RowPtr(row), [](gpointer p) { delete static_cast<RowPtr*>(p); });
    g_object_weak_ref(G_OBJECT(row->box), [](gpointer data, GObject*) {
        auto* row = static_cast<OVEditorRow*>(data);
        row->alive = false;
        if (auto m = row->module.lock())
            m->forgetRow(row);
    }, row.get());
    gtk_list_item_set_child(item, row->box);

    connectRow(row->toggle, "notify::active", G_CALLBACK(+[](GtkSwitch* toggle, GParamSpec*, gpointer data) {
        OVEditorRow* row = liveRow(data);
        if (!row || row->binding)
            return;
        if (auto m = row->module.lock())
            ov::guarded("an action's switch", [&] { m->didToggleEnabled(*row, gtk_switch_get_active(toggle)); });
    }), row);
    GtkDragSource* drag = gtk_drag_source_new();
    gtk_drag_source_set_actions(drag, GDK_ACTION_MOVE);
    connectRow(drag, "prepare", G_CALLBACK(+[](GtkDragSource*, double, double, gpointer data) -> GdkContentProvider* {
        OVEditorRow* row = liveRow(data);
        GdkContentProvider* provider = nullptr;
        if (auto m = row ? row->module.lock() : nullptr) {
            ov::guarded("starting a drag", [&] {
                const unsigned position = row->position();
                std::vector<unsigned> rows = m->selectedRows();
                if (std::find(rows.begin(), rows.end(), position) == rows.end())
                    rows = {position};
                m->commitEditing();
                provider = m->writeRowsWithIndexes(rows);
            });
        }
        return provider;
    }), row);
    connectRow(drag, "drag-begin", G_CALLBACK(+[](GtkDragSource* source, GdkDrag*, gpointer data) {
        OVEditorRow* row = liveRow(data);
        if (!row)
            return;
        ov::GRef<GdkPaintable> icon(gtk_widget_paintable_new(row->box));
        gtk_drag_source_set_icon(source, icon.get(), 0, 0);
    }), row);
    gtk_widget_add_controller(row->box, GTK_EVENT_CONTROLLER(drag));
}

GtkEntry* OVEditorModule::nameEntryOf(OVEditorRow& row)
{
    if (row.nameEntry)
        return row.nameEntry;
    const RowPtr shared = row.self.lock();
    row.nameEntry = GTK_ENTRY(gtk_entry_new());
    gtk_stack_add_child(row.nameStack, GTK_WIDGET(row.nameEntry));
    // Renaming ends with Return, with Escape (which applies what was typed, like Return) and
    // when the field loses focus.
    connectRow(row.nameEntry, "activate", G_CALLBACK(+[](GtkEntry*, gpointer data) {
        OVEditorRow* row = liveRow(data);
        if (auto m = row ? row->module.lock() : nullptr)
            ov::guarded("renaming an action", [&] { m->endEditing(*row, false); });
    }), shared);
    GtkEventController* escape = gtk_event_controller_key_new();
    gtk_event_controller_set_propagation_phase(escape, GTK_PHASE_CAPTURE);
    connectRow(escape, "key-pressed", G_CALLBACK(+[](GtkEventControllerKey*, guint keyval, guint, GdkModifierType,
                                                            gpointer data) -> gboolean {
        OVEditorRow* row = liveRow(data);
        if (!row || keyval != GDK_KEY_Escape || !row->editing)
            return FALSE;
        if (auto m = row->module.lock())
            ov::guarded("renaming an action", [&] { m->endEditing(*row, false); });
        return TRUE;
    }), shared);
    gtk_widget_add_controller(GTK_WIDGET(row.nameEntry), escape);
    GtkEventController* focus = gtk_event_controller_focus_new();
    connectRow(focus, "leave", G_CALLBACK(+[](GtkEventControllerFocus* controller, gpointer data) {
        OVEditorRow* row = liveRow(data);
        // Only focus moving elsewhere in the window ends it, not the window losing the keyboard
        // to another one.
        GtkRoot* root = gtk_widget_get_root(gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(controller)));
        if (root && GTK_IS_WINDOW(root) && !gtk_window_is_active(GTK_WINDOW(root)))
            return;
        if (auto m = row ? row->module.lock() : nullptr)
            ov::guarded("renaming an action", [&] { m->endEditing(*row, true); });
    }), shared);
    gtk_widget_add_controller(GTK_WIDGET(row.nameEntry), focus);
    return row.nameEntry;
}

void OVEditorModule::bindRow(GtkListItem* item)
{
    OVEditorRow* row = rowOfWidget(gtk_list_item_get_child(item));
    if (!row)
        return;
    row->action = actionOfItem(gtk_list_item_get_item(item));
    if (!row->action)
        return;
    showAction(*row);
    boundRows_.push_back(row);

    const OVActionList actions = store_->actions();
    if (pendingFocusRow_ && *pendingFocusRow_ == row->position() && row->position() < actions.size()
        && actions[row->position()] == row->action) {
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

void OVEditorModule::showAction(OVEditorRow& row)
{
    row.binding = true;
    const bool unknown = row.action->isUnknown();
    ovsettings::setImage(row.image, row.action->icon());
    gtk_label_set_text(row.nameLabel,
                       unknown ? OVUnknownAction::kDisplayTitle : row.action->title().value_or("").c_str());
    // Rows are reused for other actions: every one sets both.
    gtk_switch_set_active(row.toggle, row.action->enabled() && !unknown);
    gtk_widget_set_sensitive(GTK_WIDGET(row.toggle), !unknown);
    const std::string tip = unknown ? "Kept unchanged for the newer Orvane that made it (\"" +
                                          row.action->title().value_or("") + "\", " + row.action->className() +
                                          "); this version cannot show or run it. It can only be removed."
                                    : std::string();
    gtk_widget_set_tooltip_text(row.box, unknown ? tip.c_str() : nullptr);
    row.binding = false;
}

void OVEditorModule::unbindRow(GtkListItem* item)
{
    OVEditorRow* row = rowOfWidget(gtk_list_item_get_child(item));
    if (!row)
        return;
    // A rename still open belongs to the action it was started on.
    if (row->editing) {
        unbinding_ = true;
        endEditing(*row, false);
        unbinding_ = false;
    }
    std::erase(boundRows_, row);
    if (dropIndicatorRow_ == row->box)
        showDropIndicator(std::nullopt);
    row->action.reset();
}

void OVEditorModule::forgetRow(OVEditorRow* row)
{
    std::erase(boundRows_, row);
}

OVEditorRow* OVEditorModule::rowViewAt(unsigned position) const
{
    for (OVEditorRow* row : boundRows_)
        if (row->position() == position)
            return row;
    return nullptr;
}

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

std::size_t OVEditorModule::numberOfRows() const { return store_->actions().size(); }

std::optional<unsigned> OVEditorModule::rowOfAction(const OVActionPtr& action) const
{
    const OVActionList actions = store_->actions();
    auto it = std::find(actions.begin(), actions.end(), action);
    if (!action || it == actions.end())
        return std::nullopt;
    return unsigned(it - actions.begin());
}

void OVEditorModule::reloadData()
{
    // An open rename is applied before its row is rebound to another action.
    commitEditing();
    const std::vector<unsigned> selected = selectedRows();
    const OVActionList actions = store_->actions();
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
    reloading_ = true;
    const guint old = g_list_model_get_n_items(G_LIST_MODEL(rows_.get()));
    g_list_store_splice(rows_.get(), 0, old, reinterpret_cast<gpointer*>(ordered.data()), guint(ordered.size()));
    actionItems_ = std::move(items);
    // Rows kept across the reload show what their action holds now.
    for (OVEditorRow* row : boundRows_)
        if (row->action)
            showAction(*row);
    // Like a table reload: the selected row numbers stay selected while they exist.
    std::vector<unsigned> kept;
    for (unsigned row : selected)
        if (row < actions.size())
            kept.push_back(row);
    selectRows(kept);
    reloading_ = false;
    tableViewSelectionDidChange();
}

void OVEditorModule::reloadDataAndSelectLastRow()
{
    reloadData();
    const std::size_t count = numberOfRows();
    selectRows(count >= 2 ? std::vector<unsigned>{unsigned(count - 1)} : std::vector<unsigned>{});
}

std::vector<unsigned> OVEditorModule::selectedRows() const
{
    return selection_ ? ovsettings::selectedRows(selectionModel()) : std::vector<unsigned>{};
}

void OVEditorModule::selectRows(const std::vector<unsigned>& rows) { ovsettings::selectRows(selectionModel(), rows); }

std::vector<unsigned> OVEditorModule::targetRows() const
{
    std::vector<unsigned> rows = selectedRows();
    if (clickedRow_ && std::find(rows.begin(), rows.end(), *clickedRow_) == rows.end())
        return {*clickedRow_};
    return rows;
}

void OVEditorModule::tableViewSelectionDidChange()
{
    validateSelection();
    const std::vector<unsigned> rows = selectedRows();
    const OVActionList actions = store_->actions();
    OVActionPtr action = !rows.empty() && rows.front() < actions.size() ? actions[rows.front()] : nullptr;
    // A reload that keeps the same action selected keeps its editor.
    if (action == shownAction_ && currentModule_)
        return;
    shownAction_ = action;
    setCurrentModule(action ? OVEditorRegistry::viewControllerForAction(action, store_) : nullptr);
}

void OVEditorModule::validateSelection()
{
    // Removable when the selection holds an action that is not a default one.
    const OVActionList actions = store_->actions();
    bool removable = false;
    for (unsigned row : selectedRows())
        if (row < actions.size() && !actions[row]->isDefault())
            removable = true;
    gtk_widget_set_sensitive(GTK_WIDGET(removeButton()), removable);
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
    const std::vector<unsigned> targets = targetRows();
    OVActionList actions = store_->actions();
    if (targets.empty() || targets.front() >= actions.size()) {
        gtk_widget_error_bell(GTK_WIDGET(tableView()));
        return;
    }
    const auto moved = ovsettings::moveRowByOne(actions, targets.front(), delta);
    replaceActions(moved.list, moved.at, moved.count);
}

void OVEditorModule::replaceActions(const OVActionList& actions, unsigned firstSelected, unsigned count)
{
    store_->updateActions(actions);
    saveStore();
    reloadData();
    selectRows(ovsettings::blockRows(firstSelected, count));
}

void OVEditorModule::didToggleEnabled(OVEditorRow& row, bool on)
{
    // The row's action, as long as the store still holds it.
    if (!rowOfAction(row.action) || row.action->isUnknown())
        return;
    row.action->setEnabled(on);
    saveStore();
}

void OVEditorModule::addAction(int code)
{
    OVActionPtr added;
    const auto bundled = [](const char* name, bool folderOnly) -> OVActionPtr {
        auto action = OVBundledScriptAction::actionWithBundledFileName(name);
        if (action && folderOnly)
            action->setFileTypes(OVStringList{kUTTypeFolder});
        return action;
    };
    switch (code) {
    case kAddMove: added = OVAction::action<OVMoveActionGroup>(); break;
    case kAddCopy: added = OVAction::action<OVCopyActionGroup>(); break;
    case kAddShellScript: added = OVAction::action<OVShellScriptAction>(); break;
    case kAddOpenWith: added = OVAction::action<OVOpenWithActionGroup>(); break;
    case kAddResetPreferences: added = OVAction::action<OVResetAppPreferencesAction>(); break;
    case kAddCopyPaths: added = bundled("Copy paths to clipboard", false); break;
    case kAddTerminalTab: added = bundled("New Terminal Tab Here", true); break;
    case kAddTerminalWindow: added = bundled("New Terminal Window Here", true); break;
    case kAddEditWithVim: added = bundled("Edit with Vim", false); break;
    case kAddShowHiddenFiles: added = bundled("Show hidden files in Finder", false); break;
    case kAddHideHiddenFiles: added = bundled("Hide hidden files in Finder", false); break;
    default: ov::ovLog("Not handled: %ld", long(code)); break;
    }
    if (added) {
        added->setEnabled(true);
        store_->addAction(added);
    }
    // Not saved yet: the name typed next (or the next change) saves it.
    reloadDataAndSelectLastRow();
    if (const std::size_t count = numberOfRows())
        focusNameFieldWhenShown(unsigned(count - 1));
}

void OVEditorModule::deleteSelectedGroups()
{
    forgetEditingTextField();
    const std::vector<unsigned> targets = targetRows();
    const OVActionList actions = store_->actions();
    OVActionList victims;
    for (unsigned row : targets)
        if (row < actions.size())
            victims.push_back(actions[row]);
    if (victims.empty()) {
        gtk_widget_error_bell(GTK_WIDGET(tableView()));
        return;
    }
    if (defaults_->suppressActionDeletionAlert()) {
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
        request.messageText = "Are you sure you want to delete this action?";
        request.informativeText = "This action can not be undone.";
        request.buttons = {"Delete", "Cancel"};
        request.showsSuppressionButton = true;
        request.destructiveButton = 0;
        request.cancelButton = 1;
        m->deletionAlert_ = ovsettings::beginAlert(m->parentWindow(), nullptr, request, [weak, victims](int response, bool suppress) {
            auto m = weak.lock();
            if (!m || response != 0)
                return;
            m->defaults_->setSuppressActionDeletionAlert(suppress);
            m->deleteActions(victims);
        });
        g_object_add_weak_pointer(G_OBJECT(m->deletionAlert_), reinterpret_cast<gpointer*>(&m->deletionAlert_));
    });
}

void OVEditorModule::deleteActions(const OVActionList& victims)
{
    // What was selected when the user asked, by identity: rows may have moved since.
    for (const auto& action : victims)
        if (!action->isDefault())
            store_->removeAction(action);
    saveStore();
    reloadData();
}

void OVEditorModule::saveStore() { store_->save(); }

// Renaming ---------------------------------------------------------------------------------------

void OVEditorModule::beginEditing(OVEditorRow& row)
{
    if (row.editing || !row.action)
        return;
    // Its title is not written back: a new one would be lost at the next load.
    if (row.action->isUnknown()) {
        gtk_widget_error_bell(GTK_WIDGET(tableView()));
        return;
    }
    OVEditorRow* target = &row;
    if (std::any_of(boundRows_.begin(), boundRows_.end(), [](const OVEditorRow* r) { return r->editing; })) {
        // Ending the other rename may drop its action and rebind every row: find ours again.
        const OVActionPtr wanted = row.action;
        commitEditing();
        auto it = std::find_if(boundRows_.begin(), boundRows_.end(), [&](const OVEditorRow* r) { return r->action == wanted; });
        if (it == boundRows_.end()) {
            if (auto position = rowOfAction(wanted))
                focusNameFieldWhenShown(*position);
            return;
        }
        target = *it;
    }
    forgetEditingTextField();
    editingTextField_ = nameEntryOf(*target);
    g_object_add_weak_pointer(G_OBJECT(editingTextField_), reinterpret_cast<gpointer*>(&editingTextField_));
    target->editing = true;
    gtk_editable_set_text(GTK_EDITABLE(target->nameEntry), gtk_label_get_text(target->nameLabel));
    gtk_stack_set_visible_child(target->nameStack, GTK_WIDGET(target->nameEntry));
    gtk_widget_grab_focus(GTK_WIDGET(target->nameEntry));
    gtk_editable_select_region(GTK_EDITABLE(target->nameEntry), 0, -1);
}

void OVEditorModule::endEditing(OVEditorRow& row, bool focusLeft)
{
    if (!row.editing)
        return;
    // First, so the focus change of hiding the entry does not end it a second time.
    row.editing = false;
    gtk_label_set_text(row.nameLabel, gtk_editable_get_text(GTK_EDITABLE(row.nameEntry)));
    gtk_stack_set_visible_child(row.nameStack, GTK_WIDGET(row.nameLabel));
    // Losing focus happens inside GTK's focus change: the table is reloaded a turn later.
    didEditActionName(row, !reloading_ && !unbinding_ && !focusLeft);
}

void OVEditorModule::focusNameFieldWhenShown(unsigned row)
{
    const OVActionList actions = store_->actions();
    if (row >= actions.size())
        return;
    // A row widget may still show what stood at that place before a reload.
    if (OVEditorRow* shown = rowViewAt(row); shown && shown->action == actions[row]) {
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
    if (!rowOfAction(action)) {
        forgetEditingTextField();
        return;
    }
    const std::string text = trimmed(gtk_editable_get_text(GTK_EDITABLE(row.nameEntry)));
    if (!text.empty()) {
        action->setTitle(text);
        gtk_label_set_text(row.nameLabel, text.c_str());
        saveStore();
    } else if (hasTitle(*action)) {
        gtk_label_set_text(row.nameLabel, action->title()->c_str());
    } else {
        // A new action that never got a name is not kept.
        store_->removeAction(action);
        saveStore();
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
    }
    forgetEditingTextField();
}

void OVEditorModule::commitEditing()
{
    std::vector<OVEditorRow*> open;
    for (OVEditorRow* row : boundRows_)
        if (row->editing)
            open.push_back(row);
    for (OVEditorRow* row : open)
        endEditing(*row, false);
    forgetEditingTextField();
}

void OVEditorModule::flushPendingChanges(bool wait)
{
    commitEditing();
    if (auto editing = std::dynamic_pointer_cast<OVActionModuleViewController>(currentModule_))
        editing->flushPendingChanges(wait);
}

void OVEditorModule::forgetEditingTextField()
{
    if (editingTextField_)
        g_object_remove_weak_pointer(G_OBJECT(editingTextField_), reinterpret_cast<gpointer*>(&editingTextField_));
    editingTextField_ = nullptr;
}

// Context menu -----------------------------------------------------------------------------------

void OVEditorModule::menuNeedsUpdate()
{
    g_menu_remove_all(editMenu_.get());
    const std::vector<unsigned> targets = targetRows();
    const OVActionList actions = store_->actions();
    if (targets.empty() || targets.front() >= actions.size())
        return;
    const bool isDefault = actions[targets.front()]->isDefault();
    for (const auto& item : menuItemsArray_) {
        ov::GVariantPtr tag(g_menu_item_get_attribute_value(item.get(), "tag", G_VARIANT_TYPE_INT32));
        if (isDefault && tag && g_variant_get_int32(tag.get()) == kDefaultActionHiddenTag)
            continue;
        g_menu_append_item(editMenu_.get(), item.get());
    }
}

void OVEditorModule::popUpContextMenu(std::optional<unsigned> row, double x, double y)
{
    if (row) {
        const std::vector<unsigned> selected = selectedRows();
        if (std::find(selected.begin(), selected.end(), *row) == selected.end())
            selectRows({*row});
    }
    clickedRow_ = row;
    menuNeedsUpdate();
    if (g_menu_model_get_n_items(editMenu()) == 0) {
        clickedRow_.reset();
        return;
    }
    const GdkRectangle at{int(x), int(y), 1, 1};
    gtk_popover_set_pointing_to(contextMenu_, &at);
    gtk_popover_popup(contextMenu_);
}

// Dragging ---------------------------------------------------------------------------------------

GdkContentProvider* OVEditorModule::writeRowsWithIndexes(const std::vector<unsigned>& rows) const
{
    return ovsettings::draggedRowsProvider(kDragType, {tableIdentity_, rows});
}

bool OVEditorModule::validateDrop(const GValue* value, unsigned row, DropOperation operation) const
{
    if (operation != DropOperation::Above)
        return false;
    const DraggedRows* payload = rowsFromValue(value);
    // Row numbers only mean something in the table they were taken from.
    if (!payload || payload->table != tableIdentity_)
        return false;
    const std::size_t count = numberOfRows();
    if (row > count)
        return false;
    return std::any_of(payload->rows.begin(), payload->rows.end(), [&](unsigned r) { return r < count; });
}

bool OVEditorModule::acceptDrop(const GValue* value, unsigned row, DropOperation operation)
{
    commitEditing();
    if (!validateDrop(value, row, operation)) {
        // Whatever the drag showed, the table shows the store again.
        reloadData();
        return false;
    }
    const auto reordered = ovsettings::moveRowsToGap(store_->actions(), rowsFromValue(value)->rows, row);
    replaceActions(reordered.list, reordered.at, reordered.count);
    return true;
}

std::vector<OVEditorModule::ShownRow> OVEditorModule::shownRows() const
{
    std::vector<ShownRow> shown;
    for (const OVEditorRow* row : boundRows_) {
        GtkWidget* cell = gtk_widget_get_parent(row->box); // the whole row, padding included
        graphene_rect_t bounds;
        if (cell && gtk_widget_get_mapped(cell) && gtk_widget_compute_bounds(cell, GTK_WIDGET(tableView()), &bounds))
            shown.push_back({row->position(), bounds.origin.y, bounds.origin.y + bounds.size.height});
    }
    std::sort(shown.begin(), shown.end(), [](const ShownRow& a, const ShownRow& b) { return a.top < b.top; });
    return shown;
}

std::optional<unsigned> OVEditorModule::rowAt(double y) const
{
    for (const ShownRow& row : shownRows())
        if (y >= row.top && y < row.bottom && row.position < numberOfRows())
            return row.position;
    return std::nullopt;
}

std::optional<OVEditorModule::DropLocation> OVEditorModule::dropLocationAt(double, double y) const
{
    const std::size_t count = numberOfRows();
    const std::vector<ShownRow> shown = shownRows();
    if (count == 0 || shown.empty())
        return count == 0 ? std::optional(DropLocation{0, DropOperation::Above}) : std::nullopt;
    for (const ShownRow& row : shown) {
        if (y < row.top || y >= row.bottom)
            continue;
        const double quarter = (row.bottom - row.top) / 4;
        if (y < row.top + quarter)
            return DropLocation{row.position, DropOperation::Above};
        if (y >= row.bottom - quarter)
            return DropLocation{row.position + 1, DropOperation::Above};
        return DropLocation{row.position, DropOperation::On};
    }
    // Past the ends of the list.
    if (y >= shown.back().bottom && shown.back().position + 1 == count)
        return DropLocation{unsigned(count), DropOperation::Above};
    if (y < shown.front().top && shown.front().position == 0)
        return DropLocation{0, DropOperation::Above};
    return std::nullopt;
}

void OVEditorModule::showDropIndicator(const std::optional<DropLocation>& location)
{
    if (dropIndicatorRow_) {
        gtk_widget_remove_css_class(dropIndicatorRow_, "ov-drop-above");
        gtk_widget_remove_css_class(dropIndicatorRow_, "ov-drop-below");
        g_object_remove_weak_pointer(G_OBJECT(dropIndicatorRow_), reinterpret_cast<gpointer*>(&dropIndicatorRow_));
        dropIndicatorRow_ = nullptr;
    }
    if (!location)
        return;
    // The line goes on top of the row below the gap, or under the last row.
    const bool below = location->row > 0 && location->row == numberOfRows();
    OVEditorRow* row = rowViewAt(below ? location->row - 1 : location->row);
    if (!row)
        return;
    dropIndicatorRow_ = row->box;
    g_object_add_weak_pointer(G_OBJECT(dropIndicatorRow_), reinterpret_cast<gpointer*>(&dropIndicatorRow_));
    gtk_widget_add_css_class(dropIndicatorRow_, below ? "ov-drop-below" : "ov-drop-above");
}

// Kind editor ------------------------------------------------------------------------------------

void OVEditorModule::setCurrentModule(std::shared_ptr<HLModuleViewController> module)
{
    if (!module)
        module = HLViewController::controller<OVEmptyModule>();
    if (module == currentModule_)
        return;
    // What the old editor still holds is written before another action's editor shows.
    if (auto editing = std::dynamic_pointer_cast<OVActionModuleViewController>(currentModule_))
        editing->flushPendingChanges(false);
    std::shared_ptr<HLModuleViewController> old = std::exchange(currentModule_, module);
    ovsettings::switchModule(GTK_BOX(moduleContentView()), old, module);
}
