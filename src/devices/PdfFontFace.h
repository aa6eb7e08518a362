#pragma once

#include "devices/TrueTypeSubset.h"

#include <QByteArray>
#include <QRawFont>

#include <memory>
#include <vector>

namespace ostrevo {

// A face ready to embed: its tables, and what the font descriptor tells about it
// (ISO 32000-1, 9.8). Read once per face and process; each document embeds a subset.
struct PdfFontFace {
    QByteArray postScriptName;
    // TrueType outlines go in as /FontFile2; a face with CFF outlines as an OpenType
    // /FontFile3 (9.9).
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
    // The font program for a document that shows `glyphs`. TrueType outlines are
    // subset, keeping glyph ids; CFF outlines go whole.
    Program program(const std::vector<quint16> &glyphs) const;
    // The whole face, every glyph in it.
    Program wholeProgram() const;

    // The face of `raw`, from the tables the font engine reads for it; null when it has
    // none usable.
    static std::shared_ptr<const PdfFontFace> of(const QRawFont &raw);

private:
    static std::shared_ptr<const PdfFontFace> build(const QRawFont &raw);

    QList<SfntTable> m_tables;
    QByteArray m_wholeCompressed; // CFF faces only, compressed once per process
    qint64 m_wholeLength = 0;
};

// The face's identity among the faces of one process.
QString PdfFaceKey(const QRawFont &raw);

} // namespace ostrevo
