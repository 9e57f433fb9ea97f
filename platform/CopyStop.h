// SPDX-License-Identifier: GPL-3.0-or-later
// The switch that stops every copy of this process when the process is ending.
#pragma once

namespace ov {

// Makes every copy of this process, moves across file systems included, stop at its next piece
// with ECANCELED (the process is ending), or lets them run again.
void stopEveryCopy(bool stop = true);

// Whether stopEveryCopy holds: looked at by the copier before each piece.
bool isEveryCopyStopped();

} // namespace ov
