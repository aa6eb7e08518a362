#pragma once

#include <QByteArray>
#include <QString>

namespace ostrevo {

// Pieces of PDF syntax (ISO 32000-1, 7.3) appended to a buffer, as fast as the content
// streams of long printouts need them.

void AppendPdfInt(QByteArray &out, qint64 value);
// Up to `decimals` digits after the point, without trailing zeros (7.3.3: no exponents).
void AppendPdfReal(QByteArray &out, double value, int decimals = 4);
// A text string (7.9.2.2): UTF-16BE with its byte order mark, as a hex string.
void AppendPdfTextString(QByteArray &out, const QString &text);
// A name object (7.3.5), bytes outside the regular characters written as #xx.
void AppendPdfName(QByteArray &out, const QByteArray &name);

// zlib data for /FlateDecode (7.4.4) at a fast level: printouts are written once and
// mostly read once.
QByteArray PdfDeflate(const QByteArray &data, int level);

} // namespace ostrevo
