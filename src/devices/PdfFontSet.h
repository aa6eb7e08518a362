#pragma once

#include "devices/PdfFontFace.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <array>
#include <memory>
#include <vector>

namespace ostrevo {

class PdfObjectWriter;
class RealisedFont;

// The fonts of one PDF document. Each realised font (face, em size, stretch) used for
// text becomes a Type0 font with Identity-H encoding over a CIDFontType2 whose glyph
// widths are exactly the whole-pixel advances the canvas measures (ISO 32000-1, 9.7);
// the faces behind them are embedded once each, as subsets of the glyphs drawn, with one
// ToUnicode map (9.10.3).
class PdfFontSet {
public:
    struct Font {
        int face = 0;
        QByteArray resourceName; // "F0", ...
        // Glyph-space width per device pixel of advance: 1000 / (em * stretch).
        double unitsPerPixel = 1;
        std::array<quint16, 256> glyph{};
        std::array<int, 256> advance{};
        std::array<char16_t, 256> character{};
        std::array<bool, 256> used{};
    };

    enum class Embedding { Subsets, WholeFaces };

    explicit PdfFontSet(Embedding embedding = Embedding::Subsets);
    ~PdfFontSet();

    // The document's font for `font`, added on first use; throws PrinterError when its
    // face cannot be embedded.
    Font &fontFor(const RealisedFont &font);

    // Appends the bytes [first, last) as a literal string of their two-byte glyph codes
    // for Identity-H, parentheses included, and marks the glyphs used.
    static void AppendGlyphString(QByteArray &out, Font &font, const char *first, const char *last);

    // Writes fonts, faces and the resource dictionary every page shares as `resources`,
    // with `otherResources` (entries of other kinds) in it too.
    void write(PdfObjectWriter &writer, int resources, const QByteArray &otherResources = {}) const;
    bool needsOpenType() const;

private:
    struct Face {
        std::shared_ptr<const PdfFontFace> embedded;
    };

    int faceFor(const RealisedFont &font);
    // The glyphs drawn in the face, in order.
    std::vector<quint16> glyphsOf(int face) const;
    std::vector<char32_t> charactersOf(int face) const;
    QByteArray toUnicode(int face) const;

    Embedding m_embedding;
    QList<Face> m_faces;
    QHash<QString, int> m_faceIndex;
    std::vector<std::unique_ptr<Font>> m_fonts;
    QHash<QString, int> m_fontIndex;
};

} // namespace ostrevo
