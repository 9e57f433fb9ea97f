// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVEditorState.h"

#include "model/OVActionsManager.h"
#include "model/OVUserDefaults.h"
#include "settings/OVMakeActionForAddCode.h"
#include "settings/OVRowReorder.h"

#include <algorithm>

OVEditorState::OVEditorState(std::shared_ptr<OVActionsManager> store, std::shared_ptr<OVUserDefaults> defaults)
    : store_(std::move(store)), defaults_(std::move(defaults))
{
}

OVActionList OVEditorState::actions() const { return store_->actions(); }

std::size_t OVEditorState::numberOfRows() const { return store_->actions().size(); }

OVActionPtr OVEditorState::actionAt(unsigned row) const
{
    const OVActionList list = store_->actions();
    return row < list.size() ? list[row] : nullptr;
}

std::optional<unsigned> OVEditorState::rowOfAction(const OVActionPtr& action) const
{
    const OVActionList list = store_->actions();
    auto it = std::find(list.begin(), list.end(), action);
    if (!action || it == list.end())
        return std::nullopt;
    return unsigned(it - list.begin());
}

// Selection --------------------------------------------------------------------------------------

std::vector<unsigned> OVEditorState::targetRows() const
{
    if (clickedRow_ && std::find(selected_.begin(), selected_.end(), *clickedRow_) == selected_.end())
        return {*clickedRow_};
    return selected_;
}

OVActionPtr OVEditorState::selectedAction() const
{
    return selected_.empty() ? nullptr : actionAt(selected_.front());
}

std::vector<unsigned> OVEditorState::rowsKeptByReload() const
{
    const std::size_t count = numberOfRows();
    std::vector<unsigned> kept;
    for (unsigned row : selected_)
        if (row < count)
            kept.push_back(row);
    return kept;
}

std::vector<unsigned> OVEditorState::lastRowSelection() const
{
    const std::size_t count = numberOfRows();
    return count >= 2 ? std::vector<unsigned>{unsigned(count - 1)} : std::vector<unsigned>{};
}

// Rules ------------------------------------------------------------------------------------------

bool OVEditorState::canRemoveSelection() const
{
    const OVActionList list = store_->actions();
    return std::any_of(selected_.begin(), selected_.end(),
                       [&](unsigned row) { return row < list.size() && !list[row]->isDefault(); });
}

OVEditorState::ContextMenu OVEditorState::contextMenu() const
{
    const std::vector<unsigned> targets = targetRows();
    const OVActionList list = store_->actions();
    if (targets.empty() || targets.front() >= list.size())
        return ContextMenu::None;
    return list[targets.front()]->isDefault() ? ContextMenu::WithoutRemoval : ContextMenu::AllItems;
}

std::vector<unsigned> OVEditorState::rowsDraggedFrom(unsigned row) const
{
    if (std::find(selected_.begin(), selected_.end(), row) == selected_.end())
        return {row};
    return selected_;
}

bool OVEditorState::canDrop(const std::vector<unsigned>& dragged, unsigned row, DropOperation operation) const
{
    if (operation != DropOperation::Above)
        return false;
    const std::size_t count = numberOfRows();
    if (row > count)
        return false;
    return std::any_of(dragged.begin(), dragged.end(), [&](unsigned r) { return r < count; });
}

// Commands ---------------------------------------------------------------------------------------

std::optional<std::vector<unsigned>> OVEditorState::move(int delta)
{
    const std::vector<unsigned> targets = targetRows();
    const OVActionList list = store_->actions();
    if (targets.empty() || targets.front() >= list.size())
        return std::nullopt;
    const auto moved = ovsettings::moveRowByOne(list, targets.front(), delta);
    store_->updateActions(moved.list);
    save();
    return ovsettings::blockRows(moved.at, moved.count);
}

std::optional<std::vector<unsigned>> OVEditorState::drop(const std::vector<unsigned>& dragged, unsigned row,
                                                         DropOperation operation)
{
    if (!canDrop(dragged, row, operation))
        return std::nullopt;
    const auto reordered = ovsettings::moveRowsToGap(store_->actions(), dragged, row);
    store_->updateActions(reordered.list);
    save();
    return ovsettings::blockRows(reordered.at, reordered.count);
}

bool OVEditorState::setEnabled(const OVActionPtr& action, bool on)
{
    if (!rowOfAction(action) || action->isUnknown())
        return false;
    action->setEnabled(on);
    save();
    return true;
}

OVActionPtr OVEditorState::add(int code)
{
    OVActionPtr added = OVMakeActionForAddCode(code);
    if (added) {
        added->setEnabled(true);
        store_->addAction(added);
    }
    return added;
}

std::string OVEditorState::trimmedName(const std::string& typed)
{
    // The white space of g_strstrip: ASCII space, tab, line feed, form feed and carriage return.
    constexpr const char* kSpace = " \t\n\f\r";
    const auto first = typed.find_first_not_of(kSpace);
    if (first == std::string::npos)
        return {};
    return typed.substr(first, typed.find_last_not_of(kSpace) - first + 1);
}

OVEditorState::Renamed OVEditorState::rename(const OVActionPtr& action, const std::string& typed)
{
    if (!rowOfAction(action))
        return Renamed::NotListed;
    const std::string text = trimmedName(typed);
    if (!text.empty()) {
        action->setTitle(text);
        save();
        return Renamed::Titled;
    }
    if (action->title() && !action->title()->empty())
        return Renamed::Kept;
    // A new action that never got a name is not kept.
    store_->removeAction(action);
    save();
    return Renamed::Removed;
}

OVActionList OVEditorState::targetActions() const
{
    const OVActionList list = store_->actions();
    OVActionList victims;
    for (unsigned row : targetRows())
        if (row < list.size())
            victims.push_back(list[row]);
    return victims;
}

bool OVEditorState::asksBeforeDeleting() const { return !defaults_->suppressActionDeletionAlert(); }

void OVEditorState::deleteActions(const OVActionList& victims)
{
    for (const auto& action : victims)
        if (!action->isDefault())
            store_->removeAction(action);
    save();
}

void OVEditorState::confirmDeletion(const OVActionList& victims, bool dontAskAgain)
{
    defaults_->setSuppressActionDeletionAlert(dontAskAgain);
    deleteActions(victims);
}

void OVEditorState::save() { store_->save(); }
