#pragma once

#include <QByteArray>
#include <QRawFont>

#include <memory>
#include <vector>

struct hb_face_t;

namespace ostrevo {

// A face ready to embed: its tables as HarfBuzz reads them, and what the font descriptor
// tells about it (ISO 32000-1, 9.8). Read once per face and process; each document embeds
// a subset cut by hb-subset.
class PdfFontFace {
public:
    ~PdfFontFace();

    QByteArray postScriptName;
    // TrueType outlines go in as /FontFile2; a face with CFF outlines as an OpenType
    // /FontFile3 (9.9), whose glyphs a CIDFontType0 names by glyph id (9.7.4.2).
    bool trueType = true;
    int flags = 32;       // nonsymbolic
    int bbox[4] = {0, 0, 0, 0};
    double italicAngle = 0;
    int ascent = 0;
    int descent = 0;
    int capHeight = 0;

    struct Program {
        QByteArray compressed; // zlib
        qint64 length = 0;     // before compression, the /Length1 of a TrueType program
        bool subset = false;
    };
    // The font program for a document that shows `glyphs` (standing for `characters`):
    // only their outlines, at the glyph ids the content streams name. The whole face when
    // it cannot be cut.
    Program program(const std::vector<quint16> &glyphs, const std::vector<char32_t> &characters) const;
    // The whole face, every glyph in it.
    Program wholeProgram() const;

    // The face of `raw`, from the tables the font engine reads for it; null when it has
    // neither TrueType nor CFF outlines.
    static std::shared_ptr<const PdfFontFace> of(const QRawFont &raw);

private:
    static std::shared_ptr<const PdfFontFace> build(const QRawFont &raw);

    hb_face_t *m_face = nullptr;
};

// The face's identity among the faces of one process.
QString PdfFaceKey(const QRawFont &raw);

} // namespace ostrevo
