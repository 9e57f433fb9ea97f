// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVActionListModule.h"

#include "model/OVActionsManager.h"
#include "model/OVUnknownAction.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "platform/Translation.h"
#include "settings/OVImageIcon.h"
#include "settings/OVTableRows.h"
#include "settings/OVWeakSignal.h"

#include <algorithm>

using ovsettings::connectWeak;
using ovsettings::withTarget;

// One drawn cell: shared by its widget and the handlers of its widgets. The table rebinds cells,
// so the row it shows changes with every bind.
struct OVActionListModule::Cell {
    std::weak_ptr<OVActionListModule> module;
    GtkListItem* item = nullptr;
    const TextColumn* column = nullptr; // none for the check box column
    std::function<bool(const OVAction&)> state;
    std::function<void(unsigned, bool)> didToggle;
    GtkWidget* box = nullptr;
    GtkImage* image = nullptr;
    GtkEntry* entry = nullptr;
    GtkLabel* detail = nullptr;
    GtkCheckButton* check = nullptr;
    std::string shown; // the field's text as last set from the child
    bool binding = false;
    bool alive = true;
};

namespace {

using CellPtr = std::shared_ptr<OVActionListModule::Cell>;

const ovsettings::DraggedRows* draggedRows(const GValue* value)
{
    return ovsettings::draggedRowsFromValue(OVActionListModule::kDragType, value);
}

GQuark rowQuark()
{
    static const GQuark quark = g_quark_from_static_string("ov-list-row");
    return quark;
}

// The table's items carry their row number.
GObject* newRowItem(unsigned row)
{
    GObject* item = G_OBJECT(g_object_new(G_TYPE_OBJECT, nullptr));
    g_object_set_qdata(item, rowQuark(), GUINT_TO_POINTER(row + 1));
    return item;
}

std::optional<unsigned> rowOfItem(gpointer item)
{
    const guint value = item ? GPOINTER_TO_UINT(g_object_get_qdata(G_OBJECT(item), rowQuark())) : 0;
    return value ? std::optional<unsigned>(value - 1) : std::nullopt;
}

void connectCell(gpointer instance, const char* signal, GCallback callback, const CellPtr& cell)
{
    g_signal_connect_data(instance, signal, callback, new CellPtr(cell),
                          [](gpointer data, GClosure*) { delete static_cast<CellPtr*>(data); }, GConnectFlags(0));
}

OVActionListModule::Cell* liveCell(gpointer data)
{
    auto* cell = static_cast<CellPtr*>(data)->get();
    return cell->alive ? cell : nullptr;
}

} // namespace

std::weak_ptr<OVActionListModule> OVActionListModule::weakSelf()
{
    return std::static_pointer_cast<OVActionListModule>(shared_from_this());
}

void OVActionListModule::hl_viewDidLoad()
{
    tableIdentity_ = ovsettings::nextTableIdentity();
    items_ = ov::GRef<GListStore>(g_list_store_new(G_TYPE_OBJECT));
    selection_ = ov::GRef<GtkMultiSelection>(gtk_multi_selection_new(G_LIST_MODEL(g_object_ref(items_.get()))));
    gtk_column_view_set_model(tableView(), GTK_SELECTION_MODEL(selection_.get()));
    const auto weak = weakSelf();
    connectWeak(selection_.get(), "selection-changed", G_CALLBACK(+[](GtkSelectionModel*, guint, guint, gpointer data) {
        withTarget<OVActionListModule>(data, "a selection change", [](OVActionListModule& m) { m.validateSelection(); });
    }), weak);
    connectWeak(tableView(), "activate", G_CALLBACK(+[](GtkColumnView*, guint position, gpointer data) {
        withTarget<OVActionListModule>(data, "a double-click", [&](OVActionListModule& m) { m.didDoubleClickTableView(position); });
    }), weak);
    GtkEventController* keys = gtk_event_controller_key_new();
    connectWeak(keys, "key-pressed", G_CALLBACK(+[](GtkEventControllerKey*, guint keyval, guint, GdkModifierType state,
                                                     gpointer data) -> gboolean {
        gboolean handled = FALSE;
        withTarget<OVActionListModule>(data, "a key in the table", [&](OVActionListModule& m) {
            const bool plain = (state & gtk_accelerator_get_default_mod_mask()) == 0;
            // Keys typed into a field are the field's.
            GtkRoot* root = gtk_widget_get_root(GTK_WIDGET(m.tableView()));
            GtkWidget* focus = root ? gtk_root_get_focus(root) : nullptr;
            if (focus && (GTK_IS_TEXT(focus) || GTK_IS_EDITABLE(focus)))
                return;
            if (plain && (keyval == GDK_KEY_BackSpace || keyval == GDK_KEY_Delete || keyval == GDK_KEY_KP_Delete)) {
                m.tableViewDeleteFromKeyboard();
                handled = TRUE;
            }
        });
        return handled;
    }), weak);
    gtk_widget_add_controller(GTK_WIDGET(tableView()), keys);
    installCommands();
    installDrop();
    installContextMenu();
}

OVActionListModule::~OVActionListModule()
{
    if (contextMenu_)
        gtk_widget_unparent(GTK_WIDGET(contextMenu_));
}

void OVActionListModule::installContextMenu()
{
    menu_ = ov::GRef<GMenu>(g_menu_new());
    g_menu_append(menu_.get(), _("Rename"), "list.rename");
    g_menu_append(menu_.get(), _("Move Up"), "list.move-up");
    g_menu_append(menu_.get(), _("Move Down"), "list.move-down");
    g_menu_append(menu_.get(), _("Remove"), "list.remove");
    contextMenu_ = GTK_POPOVER(gtk_popover_menu_new_from_model(G_MENU_MODEL(menu_.get())));
    gtk_popover_set_has_arrow(contextMenu_, FALSE);
    gtk_widget_set_halign(GTK_WIDGET(contextMenu_), GTK_ALIGN_START);
    gtk_widget_set_parent(GTK_WIDGET(contextMenu_), GTK_WIDGET(tableView()));
    const auto weak = weakSelf();
    connectWeak(contextMenu_, "closed", G_CALLBACK(+[](GtkPopover*, gpointer data) {
        // The chosen item's command runs after the menu closes: forget the click a turn later.
        auto weak = *static_cast<std::weak_ptr<OVActionListModule>*>(data);
        ov::runOnNextTurn([weak] {
            if (auto m = weak.lock())
                m->clickedRow_.reset();
        });
    }), weak);
    GtkGesture* rightClick = gtk_gesture_click_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(rightClick), GDK_BUTTON_SECONDARY);
    connectWeak(rightClick, "pressed", G_CALLBACK(+[](GtkGestureClick* gesture, int, double x, double y, gpointer data) {
        withTarget<OVActionListModule>(data, "a right-click", [&](OVActionListModule& m) {
            gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_CLAIMED);
            m.popUpContextMenu(m.rowAt(y), x, y);
        });
    }), weak);
    gtk_widget_add_controller(GTK_WIDGET(tableView()), GTK_EVENT_CONTROLLER(rightClick));
}

std::vector<unsigned> OVActionListModule::targetRows() const
{
    std::vector<unsigned> rows = selectedRows();
    if (clickedRow_ && std::find(rows.begin(), rows.end(), *clickedRow_) == rows.end())
        return {*clickedRow_};
    return rows;
}

void OVActionListModule::popUpContextMenu(std::optional<unsigned> row, double x, double y)
{
    // Without a row there is nothing to act on.
    if (!row || *row >= rows_.size())
        return;
    clickedRow_ = row;
    const GdkRectangle at{int(x), int(y), 1, 1};
    gtk_popover_set_pointing_to(contextMenu_, &at);
    gtk_popover_popup(contextMenu_);
}

std::optional<unsigned> OVActionListModule::rowAt(double y) const
{
    auto hit = rowBoundsAt(y);
    return hit ? std::optional<unsigned>(hit->first) : std::nullopt;
}

void OVActionListModule::installCommands()
{
    commands_ = ov::GRef<GSimpleActionGroup>(g_simple_action_group_new());
    const auto weak = weakSelf();
    GActionMap* map = commandMap();
    ovsettings::addCommand(map, "add", weak, &OVActionListModule::addFiles);
    ovsettings::addCommand(map, "remove", weak, &OVActionListModule::remove);
    ovsettings::addCommand(map, "move-up", weak, &OVActionListModule::moveUp);
    ovsettings::addCommand(map, "move-down", weak, &OVActionListModule::moveDown);
    ovsettings::addCommand(map, "rename", weak, &OVActionListModule::editName);
    gtk_widget_insert_action_group(view(), "list", G_ACTION_GROUP(commands_.get()));
}

// Columns -----------------------------------------------------------------------------------------

namespace {

OVActionListModule::Cell* cellOfItem(GtkListItem* item)
{
    GtkWidget* child = gtk_list_item_get_child(item);
    auto* cell = child ? static_cast<CellPtr*>(g_object_get_data(G_OBJECT(child), "ov-cell")) : nullptr;
    return cell ? cell->get() : nullptr;
}

} // namespace

// The cell lives as long as its widget; the table forgets it when the widget goes.
void OVActionListModule::attachCell(GtkListItem* item, const std::shared_ptr<Cell>& cell)
{
    gtk_list_item_set_child(item, cell->box);
    g_object_set_data_full(G_OBJECT(cell->box), "ov-cell", new CellPtr(cell), [](gpointer p) { delete static_cast<CellPtr*>(p); });
    g_object_weak_ref(G_OBJECT(cell->box), [](gpointer data, GObject*) {
        auto* cell = static_cast<Cell*>(data);
        cell->alive = false;
        if (auto m = cell->module.lock())
            std::erase(m->cells_, cell);
    }, cell.get());
}

GtkColumnViewColumn* OVActionListModule::newColumn(const std::string& title, GtkListItemFactory* factory)
{
    connectWeak(factory, "bind", G_CALLBACK(+[](GtkListItemFactory*, GtkListItem* item, gpointer data) {
        withTarget<OVActionListModule>(data, "binding a row", [&](OVActionListModule& m) {
            if (Cell* cell = cellOfItem(item))
                m.bindCell(*cell);
        });
    }), weakSelf());
    connectWeak(factory, "unbind", G_CALLBACK(+[](GtkListItemFactory*, GtkListItem* item, gpointer data) {
        withTarget<OVActionListModule>(data, "unbinding a row", [&](OVActionListModule& m) {
            if (Cell* cell = cellOfItem(item))
                std::erase(m.cells_, cell);
        });
    }), weakSelf());
    return gtk_column_view_column_new(title.c_str(), GTK_LIST_ITEM_FACTORY(g_object_ref(factory)));
}

void OVActionListModule::addTextColumn(TextColumn definition)
{
    textColumns_.push_back(std::make_unique<TextColumn>(std::move(definition)));
    const TextColumn* column = textColumns_.back().get();
    ov::GRef<GtkListItemFactory> factory(gtk_signal_list_item_factory_new());
    struct Setup {
        std::weak_ptr<OVActionListModule> module;
        const TextColumn* column;
    };
    g_signal_connect_data(factory.get(), "setup", G_CALLBACK(+[](GtkListItemFactory*, GtkListItem* item, gpointer data) {
        ov::guarded("setting up a row", [&] {
            auto* setup = static_cast<Setup*>(data);
            auto module = setup->module.lock();
            if (!module)
                return;
            auto cell = std::make_shared<Cell>();
            cell->module = module;
            cell->item = item;
            cell->column = setup->column;
            cell->box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
            if (setup->column->withIcon) {
                cell->image = GTK_IMAGE(gtk_image_new());
                gtk_image_set_pixel_size(cell->image, OVImage::displaySize);
                gtk_box_append(GTK_BOX(cell->box), GTK_WIDGET(cell->image));
            }
            GtkWidget* texts = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
            gtk_widget_set_hexpand(texts, TRUE);
            cell->entry = GTK_ENTRY(gtk_entry_new());
            gtk_entry_set_has_frame(cell->entry, FALSE);
            if (setup->column->widthChars > 0) {
                gtk_editable_set_width_chars(GTK_EDITABLE(cell->entry), setup->column->widthChars);
                gtk_editable_set_max_width_chars(GTK_EDITABLE(cell->entry), setup->column->widthChars);
            }
            gtk_box_append(GTK_BOX(texts), GTK_WIDGET(cell->entry));
            if (setup->column->detail) {
                cell->detail = GTK_LABEL(gtk_label_new(""));
                gtk_label_set_xalign(cell->detail, 0);
                gtk_label_set_ellipsize(cell->detail, PANGO_ELLIPSIZE_MIDDLE);
                gtk_widget_set_margin_start(GTK_WIDGET(cell->detail), 8);
                gtk_widget_add_css_class(GTK_WIDGET(cell->detail), "dim-label");
                gtk_widget_add_css_class(GTK_WIDGET(cell->detail), "caption");
                gtk_box_append(GTK_BOX(texts), GTK_WIDGET(cell->detail));
            }
            gtk_box_append(GTK_BOX(cell->box), texts);
            attachCell(item, cell);

            // Editing ends with Return, with Escape (which applies the typed text too) and when the
            // field loses focus.
            connectCell(cell->entry, "activate", G_CALLBACK(+[](GtkEntry*, gpointer data) {
                if (Cell* cell = liveCell(data))
                    if (auto m = cell->module.lock())
                        ov::guarded("editing a row", [&] { m->endEditing(*cell); });
            }), cell);
            GtkEventController* escape = gtk_event_controller_key_new();
            gtk_event_controller_set_propagation_phase(escape, GTK_PHASE_CAPTURE);
            connectCell(escape, "key-pressed", G_CALLBACK(+[](GtkEventControllerKey*, guint keyval, guint, GdkModifierType,
                                                              gpointer data) -> gboolean {
                Cell* cell = liveCell(data);
                if (!cell || keyval != GDK_KEY_Escape)
                    return FALSE;
                if (auto m = cell->module.lock())
                    ov::guarded("editing a row", [&] { m->endEditing(*cell); });
                return TRUE;
            }), cell);
            gtk_widget_add_controller(GTK_WIDGET(cell->entry), escape);
            GtkEventController* focus = gtk_event_controller_focus_new();
            connectCell(focus, "leave", G_CALLBACK(+[](GtkEventControllerFocus*, gpointer data) {
                if (Cell* cell = liveCell(data))
                    if (auto m = cell->module.lock())
                        ov::guarded("editing a row", [&] { m->endEditing(*cell); });
            }), cell);
            gtk_widget_add_controller(GTK_WIDGET(cell->entry), focus);

            // Rows are dragged by their first column.
            if (setup->column == module->textColumns_.front().get()) {
                GtkDragSource* drag = gtk_drag_source_new();
                gtk_drag_source_set_actions(drag, GdkDragAction(GDK_ACTION_MOVE | GDK_ACTION_COPY));
                connectCell(drag, "prepare", G_CALLBACK(+[](GtkDragSource*, double, double, gpointer data) -> GdkContentProvider* {
                    Cell* cell = liveCell(data);
                    auto m = cell ? cell->module.lock() : nullptr;
                    if (!m)
                        return nullptr;
                    GdkContentProvider* provider = nullptr;
                    ov::guarded("starting a drag", [&] {
                        auto row = m->rowOfCell(*cell);
                        if (!row)
                            return;
                        std::vector<unsigned> rows = m->selectedRows();
                        if (std::find(rows.begin(), rows.end(), *row) == rows.end())
                            rows = {*row};
                        provider = m->writeRowsWithIndexes(rows);
                    });
                    return provider;
                }), cell);
                gtk_widget_add_controller(cell->box, GTK_EVENT_CONTROLLER(drag));
            }
        });
    }), new Setup{weakSelf(), column}, [](gpointer data, GClosure*) { delete static_cast<Setup*>(data); }, GConnectFlags(0));
    GtkColumnViewColumn* c = newColumn(column->title, factory.get());
    gtk_column_view_column_set_expand(c, column->expand);
    gtk_column_view_column_set_resizable(c, TRUE);
    gtk_column_view_append_column(tableView(), c);
    g_object_unref(c);
}

void OVActionListModule::addCheckColumn(const std::string& title, std::function<bool(const OVAction&)> state,
                                        std::function<void(unsigned, bool)> didToggle)
{
    struct Setup {
        std::weak_ptr<OVActionListModule> module;
        std::function<bool(const OVAction&)> state;
        std::function<void(unsigned, bool)> didToggle;
    };
    ov::GRef<GtkListItemFactory> factory(gtk_signal_list_item_factory_new());
    g_signal_connect_data(factory.get(), "setup", G_CALLBACK(+[](GtkListItemFactory*, GtkListItem* item, gpointer data) {
        ov::guarded("setting up a row", [&] {
            auto* setup = static_cast<Setup*>(data);
            auto cell = std::make_shared<Cell>();
            cell->module = setup->module;
            cell->item = item;
            cell->state = setup->state;
            cell->didToggle = setup->didToggle;
            cell->check = GTK_CHECK_BUTTON(gtk_check_button_new());
            cell->box = GTK_WIDGET(cell->check);
            attachCell(item, cell);
            connectCell(cell->check, "toggled", G_CALLBACK(+[](GtkCheckButton* check, gpointer data) {
                Cell* cell = liveCell(data);
                if (!cell || cell->binding)
                    return;
                auto m = cell->module.lock();
                if (auto row = m ? m->rowOfCell(*cell) : std::nullopt)
                    ov::guarded("a row's check box", [&] { cell->didToggle(*row, gtk_check_button_get_active(check)); });
            }), cell);
        });
    }), new Setup{weakSelf(), std::move(state), std::move(didToggle)},
                          [](gpointer data, GClosure*) { delete static_cast<Setup*>(data); }, GConnectFlags(0));
    GtkColumnViewColumn* c = newColumn(title, factory.get());
    gtk_column_view_append_column(tableView(), c);
    g_object_unref(c);
}

std::optional<unsigned> OVActionListModule::rowOfCell(const Cell& cell) const
{
    auto row = rowOfItem(gtk_list_item_get_item(cell.item));
    if (!row || *row >= rows_.size())
        return std::nullopt;
    return row;
}

void OVActionListModule::bindCell(Cell& cell)
{
    auto row = rowOfCell(cell);
    if (!row)
        return;
    const OVAction& action = *rows_[*row];
    std::erase(cells_, &cell);
    cells_.push_back(&cell);
    cell.binding = true;
    // A child of a kind this version does not know is shown, kept and removable, never edited.
    // Cells are reused for other children: every bind sets what this one may change.
    const bool unknown = action.isUnknown();
    labelCell(cell, action);
    if (cell.check) {
        gtk_check_button_set_active(cell.check, !unknown && cell.state(action));
        gtk_widget_set_sensitive(GTK_WIDGET(cell.check), !unknown);
    } else {
        cell.shown = !unknown ? cell.column->text(action)
                              : cell.column->withIcon ? std::string(_(OVUnknownAction::kDisplayTitle)) : std::string();
        gtk_editable_set_text(GTK_EDITABLE(cell.entry), cell.shown.c_str());
        gtk_editable_set_editable(GTK_EDITABLE(cell.entry), !unknown);
        if (cell.image)
            showIcon(cell.image, action);
        if (cell.detail)
            gtk_label_set_text(cell.detail, cell.column->detail(action).c_str());
    }
    cell.binding = false;
}

// A screen reader reads the row, and its check box, by the child's title, and a field by its
// column.
void OVActionListModule::labelCell(Cell& cell, const OVAction& action)
{
    const std::string title = action.isUnknown() ? std::string(OVUnknownAction::kDisplayTitle) : action.title().value_or("");
    ovsettings::setRowAccessibleLabel(cell.box, title);
    if (cell.check)
        ovsettings::setAccessibleLabel(GTK_WIDGET(cell.check), title);
    if (cell.entry)
        ovsettings::setAccessibleLabel(GTK_WIDGET(cell.entry), cell.column->title);
}

void OVActionListModule::showIcon(GtkImage* image, const OVAction& action) const
{
    ovsettings::setImage(image, action.icon());
}

void OVActionListModule::endEditing(Cell& cell)
{
    if (!cell.entry || cell.binding)
        return;
    const std::string typed = gtk_editable_get_text(GTK_EDITABLE(cell.entry));
    if (typed == cell.shown)
        return;
    auto row = rowOfCell(cell);
    if (!row) // the row went away under the field
        return;
    if (rows_[*row]->isUnknown())
        return;
    cell.shown = cell.column->didEdit(*row, typed);
    cell.binding = true;
    gtk_editable_set_text(GTK_EDITABLE(cell.entry), cell.shown.c_str());
    cell.binding = false;
    // A new title is read out at once, in every cell of the row.
    if (*row < rows_.size())
        for (Cell* other : std::vector<Cell*>(cells_))
            if (rowOfCell(*other) == row)
                labelCell(*other, *rows_[*row]);
}

GtkEntry* OVActionListModule::fieldAt(unsigned row, const std::string& column) const
{
    for (Cell* cell : cells_)
        if (cell->entry && cell->column->id == column && rowOfCell(*cell) == row)
            return cell->entry;
    return nullptr;
}

void OVActionListModule::flushPendingChanges(bool)
{
    const std::vector<Cell*> cells = cells_;
    for (Cell* cell : cells)
        if (std::find(cells_.begin(), cells_.end(), cell) != cells_.end())
            endEditing(*cell);
}

// Table -------------------------------------------------------------------------------------------

void OVActionListModule::reloadData()
{
    // A field being typed in belongs to the row it was started on.
    flushPendingChanges(false);
    const std::vector<unsigned> selected = selectedRows();
    auto group = actionGroup();
    rows_ = group ? group->actions() : OVActionList{};
    std::vector<GObject*> items;
    for (unsigned i = 0; i < rows_.size(); ++i)
        items.push_back(newRowItem(i));
    const guint old = g_list_model_get_n_items(G_LIST_MODEL(items_.get()));
    g_list_store_splice(items_.get(), 0, old, reinterpret_cast<gpointer*>(items.data()), guint(items.size()));
    for (GObject* item : items)
        g_object_unref(item);
    std::vector<unsigned> kept;
    for (unsigned row : selected)
        if (row < rows_.size())
            kept.push_back(row);
    selectRows(kept);
    validateSelection();
}

std::vector<unsigned> OVActionListModule::selectedRows() const
{
    return selection_ ? ovsettings::selectedRows(GTK_SELECTION_MODEL(selection_.get())) : std::vector<unsigned>{};
}

void OVActionListModule::selectRows(const std::vector<unsigned>& rows)
{
    ovsettings::selectRows(GTK_SELECTION_MODEL(selection_.get()), rows);
}

void OVActionListModule::validateSelection()
{
    bool removable = false;
    for (unsigned row : selectedRows())
        if (row < rows_.size() && canRemove(*rows_[row]))
            removable = true;
    gtk_widget_set_sensitive(GTK_WIDGET(removeButton()), removable);
}

std::string OVActionListModule::trimmed(const std::string& text)
{
    ov::GCharPtr copy(g_strdup(text.c_str()));
    return g_strstrip(copy.get());
}

std::string OVActionListModule::didEditActionName(unsigned row, const std::string& typed)
{
    if (row >= rows_.size())
        return typed;
    const OVActionPtr& child = rows_[row];
    const std::string text = trimmed(typed);
    if (text.empty()) {
        beep();
        return child->title().value_or("");
    }
    child->setTitle(text);
    saveStore();
    return text;
}

void OVActionListModule::beep() const { gtk_widget_error_bell(GTK_WIDGET(tableView())); }

// Commands ----------------------------------------------------------------------------------------

void OVActionListModule::addRemoveGroupWasClicked(int segment)
{
    if (segment == 0)
        addFiles();
    else
        deleteSelectedFiles();
}

void OVActionListModule::deleteSelectedFiles()
{
    auto group = actionGroup();
    const std::vector<unsigned> targets = targetRows();
    if (!group || targets.empty()) {
        beep();
        return;
    }
    flushPendingChanges(false);
    for (unsigned row : targets)
        if (row < rows_.size() && canRemove(*rows_[row]))
            group->removeAction(rows_[row]);
    saveStore();
    reloadData();
}

void OVActionListModule::move(int delta)
{
    const std::vector<unsigned> targets = targetRows();
    if (!actionGroup() || targets.empty() || targets.front() >= rows_.size()) {
        beep();
        return;
    }
    const auto moved = ovsettings::moveRowByOne(rows_, targets.front(), delta);
    replaceChildren(moved.list, moved.at, moved.count);
}

void OVActionListModule::replaceChildren(const OVActionList& children, unsigned firstSelected, unsigned count)
{
    flushPendingChanges(false);
    if (auto group = actionGroup())
        group->updateActions(children);
    saveStore();
    reloadData();
    selectRows(ovsettings::blockRows(firstSelected, count));
    validateSelection();
}

void OVActionListModule::didDoubleClickTableView(unsigned row)
{
    const std::vector<unsigned> targets = targetRows();
    const unsigned first = targets.empty() ? row : targets.front();
    if (GtkEntry* field = fieldAt(first, textColumns_.empty() ? "" : textColumns_.front()->id))
        gtk_widget_grab_focus(GTK_WIDGET(field));
}

void OVActionListModule::editName()
{
    const std::vector<unsigned> targets = targetRows();
    if (targets.empty()) {
        beep();
        return;
    }
    didDoubleClickTableView(targets.front());
}

// Dragging ----------------------------------------------------------------------------------------

GdkContentProvider* OVActionListModule::writeRowsWithIndexes(const std::vector<unsigned>& rows) const
{
    return ovsettings::draggedRowsProvider(kDragType, {tableIdentity_, rows});
}

bool OVActionListModule::validateDrop(const GValue* value, unsigned row, bool onRow) const
{
    const ovsettings::DraggedRows* payload = draggedRows(value);
    if (onRow || !payload || payload->table != tableIdentity_ || row > rows_.size())
        return false;
    return std::any_of(payload->rows.begin(), payload->rows.end(), [&](unsigned r) { return r < rows_.size(); });
}

bool OVActionListModule::acceptDrop(const GValue* value, unsigned row, bool onRow)
{
    if (!validateDrop(value, row, onRow)) {
        reloadData();
        return false;
    }
    const auto reordered = ovsettings::moveRowsToGap(rows_, draggedRows(value)->rows, row);
    replaceChildren(reordered.list, reordered.at, reordered.count);
    return true;
}

std::optional<std::pair<unsigned, graphene_rect_t>> OVActionListModule::rowBoundsAt(double y) const
{
    // The first column's drawn cells tell where the rows are.
    const TextColumn* first = textColumns_.empty() ? nullptr : textColumns_.front().get();
    for (const Cell* cell : cells_) {
        if (cell->column != first)
            continue;
        auto row = rowOfCell(*cell);
        GtkWidget* widget = gtk_widget_get_parent(cell->box);
        graphene_rect_t bounds;
        if (row && widget && gtk_widget_compute_bounds(widget, GTK_WIDGET(tableView()), &bounds)
            && y >= bounds.origin.y && y < bounds.origin.y + bounds.size.height)
            return std::pair{*row, bounds};
    }
    return std::nullopt;
}

std::optional<std::pair<unsigned, bool>> OVActionListModule::dropLocationAt(double y) const
{
    auto hit = rowBoundsAt(y);
    if (!hit) // past the rows: the end of the list
        return std::pair{unsigned(rows_.size()), false};
    const auto& [row, bounds] = *hit;
    const double quarter = bounds.size.height / 4;
    if (y < bounds.origin.y + quarter)
        return std::pair{row, false};
    if (y >= bounds.origin.y + bounds.size.height - quarter)
        return std::pair{row + 1, false};
    return std::pair{row, true};
}

void OVActionListModule::installDrop()
{
    GtkDropTarget* drop = gtk_drop_target_new(ovsettings::draggedRowsType(kDragType), GdkDragAction(GDK_ACTION_MOVE | GDK_ACTION_COPY));
    connectWeak(drop, "drop", G_CALLBACK(+[](GtkDropTarget*, const GValue* value, double, double y, gpointer data) -> gboolean {
        gboolean accepted = FALSE;
        withTarget<OVActionListModule>(data, "a drop on the table", [&](OVActionListModule& m) {
            if (auto location = m.dropLocationAt(y))
                accepted = m.acceptDrop(value, location->first, location->second);
        });
        return accepted;
    }), weakSelf());
    gtk_widget_add_controller(GTK_WIDGET(tableView()), GTK_EVENT_CONTROLLER(drop));
}
