#pragma once

#include <QByteArray>
#include <QList>

#include <vector>

namespace ostrevo {

// One table of an sfnt file (OpenType, "Organization of an OpenType font").
struct SfntTable {
    QByteArray tag;
    QByteArray data;
};

// The tables as one sfnt file, with table checksums and head.checkSumAdjustment set.
// `tables` must be sorted by tag.
QByteArray BuildSfnt(const QList<SfntTable> &tables, bool trueType);

// The tables of a TrueType face with the outlines of only `glyphs`, .notdef and the
// components of composite glyphs among them; every other glyph is left empty. Glyph ids
// stay as they were, so content streams and widths that name them need no change.
// `glyf` and `loca` are rewritten (loca in the long format), tables that only serve
// text layout are left out, and `post` loses its glyph names. Empty when the outline
// tables cannot be read.
QList<SfntTable> SubsetTrueTypeTables(const QList<SfntTable> &tables, const std::vector<quint16> &glyphs);

} // namespace ostrevo
