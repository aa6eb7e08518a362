#pragma once

#include <QByteArray>
#include <QRawFont>

#include <memory>

namespace ostrevo {

// A face ready to embed: its font program, compressed, and what the font descriptor
// tells about it (ISO 32000-1, 9.8). Built once per face and process, since every
// printout embeds the same few faces whole.
struct PdfFontFace {
    QByteArray postScriptName;
    // TrueType outlines go in as /FontFile2; a face with CFF outlines as an OpenType
    // /FontFile3 (9.9).
    bool trueType = true;
    QByteArray program;   // zlib-compressed
    qint64 programLength = 0; // before compression, the /Length1 of a TrueType program
    int flags = 32;       // nonsymbolic
    int bbox[4] = {0, 0, 0, 0};
    double italicAngle = 0;
    int ascent = 0;
    int descent = 0;
    int capHeight = 0;

    // The face of `raw`, from the tables the font engine reads for it; null when it has
    // none usable.
    static std::shared_ptr<const PdfFontFace> of(const QRawFont &raw);
};

// The face's identity among the faces of one process.
QString PdfFaceKey(const QRawFont &raw);

} // namespace ostrevo
