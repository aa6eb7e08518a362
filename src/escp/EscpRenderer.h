#pragma once

#include "escp/EscpPage.h"

namespace ostrevo {

class Canvas;

// The pixel size of a length on paper at `dpi` dots to the inch.
qint64 EscpPixels(qint64 length, int dpi);

// Draws one page on a canvas of `dpi` pixels to the inch whose origin is the sheet's
// top-left corner: text in Courier New on the character grid (searchable, in the printer's
// pitch and attributes), box-drawing characters as joined lines, blocks and shades as
// fills, graphics as 1-bit images.
void DrawEscpPage(Canvas &canvas, const EscpPage &page, int dpi);

} // namespace ostrevo
