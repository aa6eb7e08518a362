#pragma once

#include <QImage>
#include <QString>
#include <QVector>

namespace ostrevo {

// Positions on the printer's paper in 1/10800 inch: every unit the printer language uses
// (1/60, 1/72, 1/120, 1/180, 1/216, 1/360, 1/3600 inch, 17.14 cpi) is a whole number of them.
inline constexpr qint64 EscpInch = 10800;

// How a run of characters looks.
struct EscpLook {
    qint64 advance = EscpInch / 10; // from one character to the next
    qint64 height = 0;              // the glyph's em
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool operator==(const EscpLook &) const = default;
};

// Characters on one baseline, each `look.advance` after the one before.
struct EscpRun {
    qint64 x = 0;
    qint64 baseline = 0;
    EscpLook look;
    QString text;
};

// One DOS box-drawing character, drawn as lines in its cell. `code` is its code page 437
// byte (as the frame figures know it), `lineHeight` the line spacing it was printed at.
struct EscpFrameCell {
    qint64 x = 0;
    qint64 top = 0;
    qint64 width = 0;
    qint64 height = 0;
    qint64 lineHeight = 0;
    unsigned char code = 0;
};

// A graphics command's dots: set bits are ink.
struct EscpImage {
    qint64 x = 0;
    qint64 top = 0;
    qint64 width = 0;
    qint64 height = 0;
    QImage dots; // Format_Mono
};

// Positions are from the printer's left-most column and the top of the form; `left` and
// `top` are where those lie on the sheet.
struct EscpPage {
    qint64 width = 0;  // the sheet
    qint64 height = 0;
    qint64 left = 0;
    qint64 top = 0;
    QVector<EscpRun> runs;
    QVector<EscpFrameCell> frames;
    QVector<EscpImage> images;
    bool empty() const { return runs.isEmpty() && frames.isEmpty() && images.isEmpty(); }
};

} // namespace ostrevo
