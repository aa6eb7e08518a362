#include "support/BarcodeReader.h"

#include "support/PdfTools.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ostrevo::test {

QStringList DecodeEan13(const QString &imagePath)
{
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("-q"), QStringLiteral("--nodbus"),
                                           QStringLiteral("-Sdisable"), QStringLiteral("-Sean13.enable"), imagePath});
    if (!zbar.waitForStarted(10000)) {
        ADD_FAILURE() << "zbarimg cannot be run (is the zbar-tools package installed?)";
        return {};
    }
    zbar.waitForFinished(60000);
    QStringList codes;
    // One "EAN-13:DIGITS" line per symbol found; exit code 4 when there is none.
    for (const QString &line : QString::fromUtf8(zbar.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
        if (line.startsWith(QStringLiteral("EAN-13:")))
            codes.append(line.mid(7).trimmed());
    return codes;
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
    const QString stem = dir.filePath(QStringLiteral("page"));
    const QString number = QString::number(page);
    RunTool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), number,
                                         QStringLiteral("-l"), number, QStringLiteral("-gray"),
                                         QStringLiteral("-singlefile"), QStringLiteral("-png"), pdfPath, stem});
    return DecodeEan13(stem + QStringLiteral(".png"));
}

} // namespace ostrevo::test
