// SPDX-License-Identifier: GPL-3.0-or-later
// Replacing the page shown in an area: the window's pages and the action editor's kind editors
// change the same way.
#pragma once

#include "ui/HLModuleViewController.h"

#include <gtk/gtk.h>

#include <functional>
#include <memory>

namespace ovsettings {

// Shows `module` in `area` in place of `old` (which may be null): will-disappear on the old and
// will-appear on the new, the old view taken out and its did-disappear, the visibility flags,
// then `prepare` (with the old view gone), the new view filling the area, and its did-appear.
void switchModule(GtkBox* area, const std::shared_ptr<HLModuleViewController>& old,
                  const std::shared_ptr<HLModuleViewController>& module, const std::function<void()>& prepare = {});

} // namespace ovsettings
