// SPDX-License-Identifier: GPL-3.0-or-later
// How an action's or a page's image is drawn in the settings window.
#pragma once

#include "model/OVImage.h"

#include <gtk/gtk.h>

#include <optional>

namespace ovsettings {

// Shows the image at 16 x 16 (or the given size); no image or the empty image clears it. A
// serialized icon or PNG bytes that cannot be read also clear it.
void setImage(GtkImage* view, const std::optional<OVImage>& image, int pixelSize = OVImage::displaySize);

} // namespace ovsettings
