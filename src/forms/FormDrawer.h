#pragma once

#include "forms/FormAttributes.h"
#include "forms/FormState.h"
#include "forms/TBox.h"

#include <QByteArray>

#include <cstdint>

namespace ostrevo {

// Inner margins of a box, hundredths of a millimetre.
struct FormPadding {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// What a form renderer draws on. The reader of the template and the job walks the pages
// and calls these in file order; every length it passes is in hundredths of a millimetre
// on the form, and each renderer does its own arithmetic from there (the printer in whole
// device pixels, PDF in floating point). Texts are Windows-1250 bytes. A failure throws.
class FormDrawer {
public:
    virtual ~FormDrawer() = default;

    // Page n of the form is about to be drawn (the template's section, then the job's).
    // `first` for the first page drawn in the job. The renderer compares `landscape`
    // with the orientation of the sheets in progress: the same one takes a new page, a
    // different one a new document (printer) or a turned page (PDF).
    virtual void beginPage(int page, bool landscape, bool first) = 0;

    // At the start of each page section and after each of its lines: MAXX, MAXY, WSP.
    virtual void setPageScale(const FormPageSize &size) = 0;

    // The reading source's current attributes, before each T1, T2, TNUM, K, after each
    // attribute line of a text block, and at TDEV/T_DEV (text); before each L and B and
    // at LDEV/L_DEV (lines). The renderer keeps what it needs of them.
    virtual void applyTextAttributes(const FormAttributes &attributes) = 0;
    virtual void applyLineAttributes(const FormAttributes &attributes) = 0;

    // L: a straight line.
    virtual void drawLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) = 0;
    // B: a frame with these corners (as written, not the box row), filled when `fill`
    // is 1; whether and how the fill shows is the renderer's rule.
    virtual void drawBox(const FormRect &corners, std::int32_t fill) = 0;

    // T1/T2: a text block of `count` lines in box row `box` with paddings `padding`
    // (the box is inside the table). Then textLine for every printed line, k being the
    // line's place among the block's consumed lines (1 = the first; attribute lines
    // count too), with empty text for a "." line; then endTextBlock.
    virtual void beginTextBlock(const FormRect &box, const FormPadding &padding, int count) = 0;
    virtual void textLine(const QByteArray &win1250, int k) = 0;
    virtual void endTextBlock() = 0;

    // TNUM: `number` followed by "." in box row `box`.
    virtual void drawNumber(const FormRect &box, const FormPadding &padding, std::int64_t number) = 0;

    // K: an EAN-13 barcode of `text` (the line as it stands in the file) in box row `box`,
    // inside the box. Returns its module in millimetres on paper; 0 when the box had no
    // room for it and nothing was drawn (the text is still checked).
    virtual double drawBarcode(const FormRect &box, const FormPadding &padding, const QByteArray &text) = 0;
};

} // namespace ostrevo
