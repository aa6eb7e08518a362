#include "PdfOutput.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <cups/cups.h>
#include <gtest/gtest.h>

namespace ostrevo::test {

QString RunProgram(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int PdfPages(const QString &path)
{
    static const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption);
    const auto m = pages.match(RunProgram(QStringLiteral("pdfinfo"), {path}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString PdfPlainText(const QString &path)
{
    return RunProgram(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
}

QList<PdfWordBox> PdfWordBoxes(const QString &path)
{
    static const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QList<PdfWordBox> words;
    const QString xml = RunProgram(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    for (auto it = word.globalMatch(xml); it.hasNext();) {
        const auto m = it.next();
        words.append({m.captured(5), m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                      m.captured(4).toDouble()});
    }
    return words;
}

namespace {

QString TestsDir(const char *variable, const QString &sub)
{
    const QByteArray set = qgetenv(variable);
    if (!set.isEmpty())
        return QFile::decodeName(set);
    return QFileInfo(QFile::decodeName(__FILE__)).absoluteDir().filePath(QStringLiteral("../") + sub);
}

} // namespace

QString DataPath(const QString &name)
{
    return TestsDir("OSTREVO_TEST_DATA", QStringLiteral("data")) + u'/' + name;
}

QString ServicePath(const QString &name)
{
    return TestsDir("OSTREVO_TEST_SERVICES", QStringLiteral("services")) + u'/' + name;
}

QStringList PdfFilesIn(const QString &dir)
{
    return QDir(dir).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name);
}

namespace {

// No test here reaches the machine's CUPS: libcups looks at a socket where nothing listens,
// so the built-in printer is the only and the default printer.
class NoCups : public ::testing::Environment {
public:
    void SetUp() override
    {
        const QByteArray socket = QFile::encodeName(
            QDir::tempPath() + QStringLiteral("/ostrevo-textprint-no-cups-%1.sock").arg(QCoreApplication::applicationPid()));
        qputenv("CUPS_SERVER", socket);
        cupsSetServer(socket.constData());
    }
};

const auto *const registered = ::testing::AddGlobalTestEnvironment(new NoCups);

} // namespace

} // namespace ostrevo::test
