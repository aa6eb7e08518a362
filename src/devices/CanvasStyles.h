#pragma once

#include "devices/Canvas.h"

#include <QLine>
#include <QRect>
#include <QVector>

namespace ostrevo {

// What the pen and brush styles draw, in device pixels, the same on every canvas.

// On and off lengths of a pen's dashes; empty for a solid (or null) pen.
QVector<int> DashLengths(const CanvasPen &pen, int dpi);

// The distance between the lines of a hatch brush: a millimetre.
int HatchSpacing(int dpi);

// The lines of a hatch brush across `bounds` (which the caller clips to its shape), on a
// grid anchored at the device's origin so that neighbouring shapes join; empty for a
// solid or clear brush.
QVector<QLine> HatchLines(const QRect &bounds, BrushStyle style, int spacing);

bool IsHatch(BrushStyle style);

} // namespace ostrevo
