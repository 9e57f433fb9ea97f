// SPDX-License-Identifier: GPL-3.0-or-later
// What the two list editors share (folders and applications, templates): a table of the edited
// group's children with add and remove buttons, moving rows up and down (also by dragging), and
// text fields whose editing ends with Return, Escape (which applies the typed text) or focus
// leaving. Row numbers stand for the children in the order shown.
#pragma once

#include "model/OVActionGroup.h"
#include "platform/GRef.h"
#include "settings/OVActionModuleViewController.h"

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class OVActionListModule : public OVActionModuleViewController {
public:
    std::vector<std::string> classHierarchy() const override
    {
        return {"OVActionListModule", "OVActionModuleViewController", "HLModuleViewController", "HLViewController"};
    }
    // The drag type of rows: row numbers of the table they come from.
    static constexpr const char* kDragType = "HLDraggableTableViewType";

    void hl_viewDidLoad() override;

    std::shared_ptr<OVActionGroup> actionGroup() const { return std::dynamic_pointer_cast<OVActionGroup>(action()); }
    // The children as the table shows them.
    const OVActionList& rows() const { return rows_; }
    std::size_t numberOfRows() const { return rows_.size(); }
    virtual void reloadData();
    std::vector<unsigned> selectedRows() const;
    void selectRows(const std::vector<unsigned>& rows);
    // The selected rows, unless the context menu was opened on a row outside them: then that row.
    std::vector<unsigned> targetRows() const;
    // Opens the context menu for a right-click at (x, y) of the table, on the given row if any.
    void popUpContextMenu(std::optional<unsigned> row, double x, double y);
    GtkPopover* contextMenu() const { return contextMenu_; }
    // The row drawn at height y of the table, if any.
    std::optional<unsigned> rowAt(double y) const;

    // Commands; those that need a row beep without one.
    void addRemoveGroupWasClicked(int segment);
    virtual void addFiles() = 0;
    virtual void deleteSelectedFiles();
    void remove() { deleteSelectedFiles(); }
    void tableViewDeleteFromKeyboard() { deleteSelectedFiles(); }
    void moveUp() { move(-1); }
    void moveDown() { move(+1); }
    void didDoubleClickTableView(unsigned row);
    void editName();
    // A row's title as typed: trimmed; blank beeps and keeps the old one. Answers what the field shows.
    std::string didEditActionName(unsigned row, const std::string& typed);
    void flushPendingChanges(bool wait) override;

    // Dragging rows within the table: refused onto a row and from another table.
    GdkContentProvider* writeRowsWithIndexes(const std::vector<unsigned>& rows) const;
    bool validateDrop(const GValue* value, unsigned row, bool onRow) const;
    bool acceptDrop(const GValue* value, unsigned row, bool onRow);

    GtkColumnView* tableView() const { return outlet<GtkColumnView>("tableView"); }
    GtkLabel* headingLabel() const { return outlet<GtkLabel>("headingLabel"); }
    GtkButton* addButton() const { return outlet<GtkButton>("addButton"); }
    GtkButton* removeButton() const { return outlet<GtkButton>("removeButton"); }
    // The text field of a column in the drawn row, or null when the row is not drawn.
    GtkEntry* fieldAt(unsigned row, const std::string& column) const;

protected:
    OVActionListModule() = default;
    ~OVActionListModule() override;
    // The context menu's items; editors add their own.
    GMenu* contextMenuItems() const { return menu_.get(); }

    // A column of text fields: the field's text for a child, and what happens when its editing
    // ends (the row, the typed text); the handler answers the text the field shows afterwards.
    struct TextColumn {
        std::string id;
        std::string title;
        bool expand = false;
        bool withIcon = false;
        int widthChars = 0; // the field's width in characters; 0 for the toolkit's
        std::function<std::string(const OVAction&)> text;
        std::function<std::string(unsigned row, const std::string& typed)> didEdit;
        std::function<std::string(const OVAction&)> detail; // a second line under the field
    };
    void addTextColumn(TextColumn column);
    // A check box column bound to a child's flag.
    void addCheckColumn(const std::string& title, std::function<bool(const OVAction&)> state,
                        std::function<void(unsigned row, bool on)> didToggle);
    // How a row's icon is drawn; the default shows the child's icon.
    virtual void showIcon(GtkImage* image, const OVAction& action) const;
    virtual void validateSelection();
    // The children may be removed through this editor.
    virtual bool canRemove(const OVAction&) const { return true; }
    // After a change of the list: the group takes the new order, the store saves, the table reloads.
    void replaceChildren(const OVActionList& children, unsigned firstSelected, unsigned count);
    void beep() const;
    static std::string trimmed(const std::string& text);
    std::weak_ptr<OVActionListModule> weakSelf();
    GActionMap* commandMap() const { return G_ACTION_MAP(commands_.get()); }

public:
    struct Cell; // one drawn cell of the table

private:
    void move(int delta);
    void installCommands();
    void installDrop();
    void installContextMenu();
    static void attachCell(GtkListItem* item, const std::shared_ptr<Cell>& cell);
    GtkColumnViewColumn* newColumn(const std::string& title, GtkListItemFactory* factory);
    void bindCell(Cell& cell);
    static void labelCell(Cell& cell, const OVAction& action);
    void endEditing(Cell& cell);
    std::optional<unsigned> rowOfCell(const Cell& cell) const;
    std::optional<std::pair<unsigned, bool>> dropLocationAt(double y) const;
    std::optional<std::pair<unsigned, graphene_rect_t>> rowBoundsAt(double y) const;

    OVActionList rows_;
    ov::GRef<GListStore> items_;
    ov::GRef<GtkMultiSelection> selection_;
    ov::GRef<GSimpleActionGroup> commands_;
    std::vector<std::unique_ptr<TextColumn>> textColumns_;
    std::vector<Cell*> cells_; // drawn cells
    std::uint64_t tableIdentity_ = 0;
    ov::GRef<GMenu> menu_;
    GtkPopover* contextMenu_ = nullptr; // a child of the table
    std::optional<unsigned> clickedRow_;
};
