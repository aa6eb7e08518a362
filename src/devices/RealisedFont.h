#pragma once

#include "devices/Canvas.h"

#include <QGlyphRun>
#include <QRawFont>

#include <array>
#include <memory>

namespace ostrevo {

// A logical font made real the way GDI does it for a TrueType face: a positive height is
// the cell height (ascent + descent from the OS/2 win metrics), a negative one the em
// height; a width is the average character width, reached by stretching horizontally.
// Glyphs and advances are tabled per byte, so measuring and drawing do no lookups.
class RealisedFont {
public:
    // The dots per inch only matter for height 0, which GDI reads as 12 points.
    RealisedFont(const LogFont &font, int dpiY);

    int cellHeight() const { return m_cellHeight; }
    int ascent() const { return m_ascent; }
    // Advance widths are whole device pixels, as on a GDI device.
    int advance(unsigned char byte) const { return m_advance[byte]; }
    int textWidth(const QByteArray &bytes) const;
    // Horizontal stretch applied to the glyph outlines.
    qreal scaleX() const { return m_scaleX; }
    // Glyphs of the text with their positions along the unstretched baseline at y = ascent.
    QGlyphRun glyphRun(const QByteArray &bytes) const;

    // For writers that place glyphs themselves: the face at the em size in device pixels,
    // and per byte the glyph and the character it stands for.
    const QRawFont &rawFont() const { return m_raw; }
    qreal emSize() const { return m_raw.pixelSize(); }
    quint32 glyph(unsigned char byte) const { return m_glyph[byte]; }
    char16_t character(unsigned char byte) const { return m_character[byte]; }
    bool underline() const { return m_underline; }
    bool strikeOut() const { return m_strikeOut; }

private:
    QRawFont m_raw;
    int m_cellHeight = 0;
    int m_ascent = 0;
    qreal m_scaleX = 1.0;
    bool m_underline = false;
    bool m_strikeOut = false;
    std::array<quint32, 256> m_glyph{};
    std::array<char16_t, 256> m_character{};
    std::array<int, 256> m_advance{};
};

} // namespace ostrevo
