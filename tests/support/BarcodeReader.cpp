#include "support/BarcodeReader.h"

#include "support/PdfTools.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ostrevo::test {

namespace {

// What zbarimg finds of one symbology ("ean13", "qrcode") in an image file; its lines
// read "EAN-13:DIGITS", "QR-Code:TEXT".
QStringList Decode(const QString &imagePath, const QString &symbology, const QString &prefix)
{
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("-q"), QStringLiteral("--nodbus"), QStringLiteral("-Sdisable"),
                                           QStringLiteral("-S%1.enable").arg(symbology), imagePath});
    if (!zbar.waitForStarted(10000)) {
        ADD_FAILURE() << "zbarimg cannot be run (is the zbar-tools package installed?)";
        return {};
    }
    zbar.waitForFinished(60000);
    QStringList codes;
    // One line per symbol found; exit code 4 when there is none.
    for (const QString &line : QString::fromUtf8(zbar.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
        if (line.startsWith(prefix))
            codes.append(line.mid(prefix.size()).trimmed());
    return codes;
}

QString RenderPage(const QString &pdfPath, int page, int dpi, const QTemporaryDir &dir)
{
    const QString stem = dir.filePath(QStringLiteral("page"));
    const QString number = QString::number(page);
    RunTool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), number,
                                         QStringLiteral("-l"), number, QStringLiteral("-gray"),
                                         QStringLiteral("-singlefile"), QStringLiteral("-png"), pdfPath, stem});
    return stem + QStringLiteral(".png");
}

} // namespace

QStringList DecodeEan13(const QString &imagePath)
{
    return Decode(imagePath, QStringLiteral("ean13"), QStringLiteral("EAN-13:"));
}

QStringList DecodeEan13(const QImage &image, const QString &dir)
{
    const QString path = QDir(dir).filePath(QStringLiteral("barcode.png"));
    if (!image.save(path)) {
        ADD_FAILURE() << "cannot save " << path.toStdString();
        return {};
    }
    return DecodeEan13(path);
}

QStringList DecodeEan13InPdf(const QString &pdfPath, int page, int dpi)
{
    QTemporaryDir dir;
    return DecodeEan13(RenderPage(pdfPath, page, dpi, dir));
}

QStringList DecodeQrInPdf(const QString &pdfPath, int page, int dpi)
{
    QTemporaryDir dir;
    return Decode(RenderPage(pdfPath, page, dpi, dir), QStringLiteral("qrcode"), QStringLiteral("QR-Code:"));
}

} // namespace ostrevo::test
