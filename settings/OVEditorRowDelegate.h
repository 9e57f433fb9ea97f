// SPDX-License-Identifier: GPL-3.0-or-later
// What a drawn row of the action table asks of the table that made it.
#pragma once

#include <gtk/gtk.h>

struct OVEditorRow;

class OVEditorRowDelegate {
public:
    virtual ~OVEditorRowDelegate() = default;
    // The user turned the row's switch.
    virtual void didToggleEnabled(OVEditorRow& row, bool on) = 0;
    // What a drag that starts on the row carries.
    virtual GdkContentProvider* dragContentFrom(OVEditorRow& row) = 0;
    // Applies the typed name; focusLeft when the field lost focus (GTK is then changing focus).
    virtual void endEditing(OVEditorRow& row, bool focusLeft) = 0;
    // The row's widget is gone.
    virtual void forgetRow(OVEditorRow* row) = 0;
};
