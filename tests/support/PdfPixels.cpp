#include "support/PdfPixels.h"

#include "support/PdfTools.h"

#include <QTemporaryDir>

#include <cmath>

namespace ostrevo::test {

QImage RenderedPdfPage(const QString &pdfPath, int page, int dpi)
{
    QTemporaryDir dir;
    const QString stem = dir.filePath(QStringLiteral("strona"));
    const QString number = QString::number(page);
    RunTool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), number,
                                         QStringLiteral("-l"), number, QStringLiteral("-singlefile"),
                                         QStringLiteral("-png"), pdfPath, stem});
    return QImage(stem + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

QRect DarkArea(const QImage &image, QRect within)
{
    if (within.isNull())
        within = image.rect();
    within &= image.rect();
    QRect area;
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                area |= QRect(x, y, 1, 1);
    return area;
}

QRect PixelsOfPoints(const QRectF &points, int dpi)
{
    const double perPoint = dpi / 72.0;
    return QRect(QPoint(int(std::ceil(points.left() * perPoint)), int(std::ceil(points.top() * perPoint))),
                 QPoint(int(std::floor(points.right() * perPoint)) - 1,
                        int(std::floor(points.bottom() * perPoint)) - 1));
}

} // namespace ostrevo::test
