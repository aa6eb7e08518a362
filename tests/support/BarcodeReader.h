#pragma once

// Barcodes read back by a real reader, zbarimg of Debian's zbar-tools.

#include <QImage>
#include <QString>
#include <QStringList>

namespace ostrevo::test {

// The EAN-13 codes that zbarimg finds in an image file, each as its 13 digits.
QStringList DecodeEan13(const QString &imagePath);
// The same for an image in memory, saved as PNG into `dir` first.
QStringList DecodeEan13(const QImage &image, const QString &dir);
// The same for one page (from 1) of a PDF file, rendered by pdftoppm at `dpi`.
QStringList DecodeEan13InPdf(const QString &pdfPath, int page, int dpi = 300);
// The texts of the QR codes on one page of a PDF file.
QStringList DecodeQrInPdf(const QString &pdfPath, int page, int dpi = 150);

} // namespace ostrevo::test
