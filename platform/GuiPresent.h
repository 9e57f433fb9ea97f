// SPDX-License-Identifier: GPL-3.0-or-later
// Bringing a window to the front the way the desktop allows it.
#pragma once

typedef struct _GtkWindow GtkWindow;

namespace ov {

// Presents WINDOW. The first window after an activation carries the activation token that came
// with it, so the desktop gives it focus by its rule (the click that asked for it), not by chance.
void presentWindow(GtkWindow* window);

} // namespace ov
