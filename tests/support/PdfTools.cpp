#include "support/PdfTools.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>

namespace ostrevo::test {

QString RunTool(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int PdfPageCount(const QString &path)
{
    static const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption);
    const auto m = pages.match(RunTool(QStringLiteral("pdfinfo"), {path}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString PdfPageSize(const QString &path)
{
    static const QRegularExpression size(QStringLiteral("^Page size:\\s+(.*)$"), QRegularExpression::MultilineOption);
    return size.match(RunTool(QStringLiteral("pdfinfo"), {path})).captured(1).trimmed();
}

QString PdfText(const QString &path, PdfTextLayout layout)
{
    QStringList arguments{path, QStringLiteral("-")};
    if (layout == PdfTextLayout::Physical)
        arguments.prepend(QStringLiteral("-layout"));
    return RunTool(QStringLiteral("pdftotext"), arguments);
}

QList<PdfWord> PdfWords(const QString &path)
{
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([-\\d.]+)\" yMin=\"([-\\d.]+)\" xMax=\"([-\\d.]+)\" yMax=\"([-\\d.]+)\">([^<]*)</word>"));
    QList<PdfWord> words;
    const QString xml = RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    for (auto it = word.globalMatch(xml); it.hasNext();) {
        const auto m = it.next();
        const QPointF topLeft(m.captured(1).toDouble(), m.captured(2).toDouble());
        const QPointF bottomRight(m.captured(3).toDouble(), m.captured(4).toDouble());
        words.append({m.captured(5), QRectF(topLeft, bottomRight)});
    }
    return words;
}

QString PdfFonts(const QString &path)
{
    return RunTool(QStringLiteral("pdffonts"), {path});
}

QStringList PdfFilesIn(const QString &dir)
{
    return QDir(dir).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name);
}

} // namespace ostrevo::test
