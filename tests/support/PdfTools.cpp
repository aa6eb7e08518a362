#include "support/PdfTools.h"

#include <QDateTime>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace ostrevo::test {

QString RunTool(const QString &program, const QStringList &arguments)
{
    // Whatever PDF a test reads back with poppler or ghostscript is checked with qpdf too.
    if (program.startsWith(QStringLiteral("pdf")) || program == QStringLiteral("gs")) {
        for (const QString &argument : arguments) {
            QFile file(argument);
            if (!argument.startsWith(u'-') && file.open(QIODevice::ReadOnly) && file.read(5) == "%PDF-")
                ExpectSoundPdf(argument);
        }
    }
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString QpdfProblems(const QString &path)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("qpdf"), {QStringLiteral("--check"), path});
    if (!p.waitForStarted(10000))
        return QStringLiteral("qpdf cannot be run (is the qpdf package installed?)");
    p.waitForFinished(60000);
    const QString output = QString::fromUtf8(p.readAll());
    // 0: no errors or warnings; 2 errors, 3 warnings.
    if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return {};
    return output.isEmpty() ? QStringLiteral("qpdf --check failed") : output;
}

void ExpectSoundPdf(const QString &path)
{
    // Tests run on one thread; the set only saves checking the same file again.
    static QSet<QString> checked;
    const QFileInfo info(path);
    if (!info.exists())
        return;
    const QString version = path + u'|' + QString::number(info.size()) + u'|' +
                            QString::number(info.lastModified().toMSecsSinceEpoch());
    if (checked.contains(version))
        return;
    checked.insert(version);
    const QString problems = QpdfProblems(path);
    EXPECT_TRUE(problems.isEmpty()) << "qpdf --check " << path.toStdString() << ":\n" << problems.toStdString();
}

int PdfPageCount(const QString &path)
{
    ExpectSoundPdf(path);
    static const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption);
    const auto m = pages.match(RunTool(QStringLiteral("pdfinfo"), {path}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString PdfPageSize(const QString &path)
{
    ExpectSoundPdf(path);
    static const QRegularExpression size(QStringLiteral("^Page size:\\s+(.*)$"), QRegularExpression::MultilineOption);
    return size.match(RunTool(QStringLiteral("pdfinfo"), {path})).captured(1).trimmed();
}

QString PdfText(const QString &path, PdfTextLayout layout)
{
    ExpectSoundPdf(path);
    QStringList arguments{path, QStringLiteral("-")};
    if (layout == PdfTextLayout::Physical)
        arguments.prepend(QStringLiteral("-layout"));
    return RunTool(QStringLiteral("pdftotext"), arguments);
}

QList<PdfWord> PdfWords(const QString &path, int page)
{
    ExpectSoundPdf(path);
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([-\\d.]+)\" yMin=\"([-\\d.]+)\" xMax=\"([-\\d.]+)\" yMax=\"([-\\d.]+)\">([^<]*)</word>"));
    QList<PdfWord> words;
    QStringList arguments{QStringLiteral("-bbox"), path, QStringLiteral("-")};
    if (page > 0)
        arguments = QStringList{QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                                QString::number(page)} + arguments;
    const QString xml = RunTool(QStringLiteral("pdftotext"), arguments);
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
    ExpectSoundPdf(path);
    return RunTool(QStringLiteral("pdffonts"), {path});
}

QStringList PdfPageTexts(const QString &path)
{
    QStringList pages = PdfText(path).split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    for (QString &page : pages)
        page = page.simplified();
    return pages;
}

QStringList PdfFilesIn(const QString &dir)
{
    return QDir(dir).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name);
}

PdfWord WordNamed(const QList<PdfWord> &words, const QString &text)
{
    for (const PdfWord &w : words)
        if (w.text == text)
            return w;
    ADD_FAILURE() << "no word " << text.toStdString();
    return {};
}

} // namespace ostrevo::test
