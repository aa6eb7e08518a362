#pragma once

// PDF pages as a reader draws them: pdftoppm's rendering, and where it left ink.

#include <QImage>
#include <QRect>
#include <QString>

namespace ostrevo::test {

// Page `page` (from 1) of the file rendered by pdftoppm at `dpi`, in colour.
QImage RenderedPdfPage(const QString &pdfPath, int page, int dpi);
// The smallest rectangle holding every dark pixel of the image, or of that part of it.
QRect DarkArea(const QImage &image, QRect within = {});
// Pixels of a rendering at `dpi` of a page, for a rectangle in points on it: the pixels
// wholly inside.
QRect PixelsOfPoints(const QRectF &points, int dpi);

} // namespace ostrevo::test
