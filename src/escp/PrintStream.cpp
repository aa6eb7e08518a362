#include "escp/PrintStream.h"

#include "devices/DirectPdfDocument.h"
#include "devices/PrinterError.h"
#include "devices/RealisedFontCache.h"
#include "escp/EscpInterpreter.h"
#include "escp/EscpRenderer.h"
#include "escp/GhostscriptConversion.h"
#include "jobs/AtomicFile.h"
#include "jobs/Errors.h"
#include "jobs/PartFile.h"

#include <QFile>
#include <QFileInfo>

#include <optional>

#include <cerrno>
#include <unistd.h>

namespace ostrevo {

namespace {

// Every length the printer language uses falls on whole pixels at this resolution, so the
// PDF holds each character exactly on its column.
constexpr int PdfDpi = 3600;
constexpr qsizetype SignatureWindow = 4096;

bool HasPjlLanguage(QByteArrayView head, QByteArrayView language)
{
    const QByteArray upper = head.first(std::min(head.size(), SignatureWindow)).toByteArray().toUpper();
    for (qsizetype at = upper.indexOf("LANGUAGE"); at >= 0; at = upper.indexOf("LANGUAGE", at + 1)) {
        qsizetype i = at + 8;
        while (i < upper.size() && (upper[i] == ' ' || upper[i] == '='))
            ++i;
        if (QByteArrayView(upper).sliced(i).startsWith(language))
            return true;
    }
    return false;
}

// How many columns the longest line of a plain text has: a printout with no codes is set
// in the pitch that fits it, as the printer's panel would have been set for it.
int LongestLine(const QByteArray &text)
{
    int longest = 0;
    int current = 0;
    for (char byte : text) {
        if (byte == '\r' || byte == '\n' || byte == '\f') {
            current = 0;
            continue;
        }
        longest = std::max(longest, ++current);
    }
    return longest;
}

QByteArray PitchFor(int columns)
{
    if (columns <= 80)
        return {};
    if (columns <= 96)
        return QByteArrayLiteral("\x1bM");
    if (columns <= 137)
        return QByteArrayLiteral("\x0f");
    return QByteArrayLiteral("\x1bM\x0f");
}

EscpTable ChooseTable(const QByteArray &bytes, const PrintStreamOptions &options, PrintStreamReport &report)
{
    EscpTable table = EscpTable::Cp852;
    if (options.codePage.trimmed().compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0) {
        table = GuessPolishTable(bytes);
        report.codePageGuessed = true;
    } else if (!EscpTableFromName(options.codePage, table)) {
        throw JobError(QStringLiteral("nieznane kodowanie „%1” (znane: 852, mazowia, 437, 1250, auto)").arg(options.codePage));
    }
    report.codePage = EscpTableName(table);
    return table;
}

// The interpreter over the stream, each page handed to `draw`.
void Interpret(const QByteArray &bytes, const PrintStreamOptions &options, PrintStreamReport &report,
               const EscpInterpreter::PageSink &draw)
{
    EscpInterpreter::Options settings;
    settings.table = ChooseTable(bytes, options, report);
    settings.pageLength = qint64(qMax(0, options.pageLines)) * (EscpInch / 6);
    EscpInterpreter interpreter(settings, draw);
    if (report.language == PrintLanguage::PlainText)
        interpreter.run(PitchFor(LongestLine(bytes)) + bytes);
    else
        interpreter.run(bytes);
    report.pages = interpreter.pages();
    report.unknownCommands = interpreter.unknownCommands();
}

DeviceMetrics SheetMetrics(const EscpPage &page)
{
    DeviceMetrics metrics;
    metrics.dpiX = metrics.dpiY = PdfDpi;
    metrics.width = int(EscpPixels(page.width, PdfDpi));
    metrics.height = int(EscpPixels(page.height, PdfDpi));
    metrics.physicalMm = QSizeF(page.width * 25.4 / EscpInch, page.height * 25.4 / EscpInch);
    return metrics;
}

void Publish(const QString &part, const QString &pdfPath)
{
    if (const int error = PublishPart(part, pdfPath); error != 0)
        throw IoError(QStringLiteral("Nie można zapisać pliku PDF %1: %2").arg(pdfPath, ErrnoText(error)));
}

PartFile NewPart(const QString &pdfPath)
{
    int error = 0;
    PartFile part = CreatePartFile(QFileInfo(pdfPath).absolutePath(), QStringLiteral("ostrevo"), error);
    if (part.fd.fd < 0) {
        const QString message = QStringLiteral("Nie można zapisać pliku PDF %1: %2").arg(pdfPath, ErrnoText(error));
        // A folder that is not there yet may be made: as unavailable as a full disk.
        if (OutputMayClear(error) || error == ENOENT)
            throw OutputUnavailable(message);
        throw IoError(message);
    }
    return part;
}

void RenderEscp(const QByteArray &bytes, const PrintStreamOptions &options, const QString &pdfPath,
                PrintStreamReport &report)
{
    PartFile part = NewPart(pdfPath);
    RealisedFontCache fonts;
    fonts.setDpiY(PdfDpi);
    std::optional<DirectPdfDocument> document;
    QSizeF sheet;
    try {
        Interpret(bytes, options, report, [&](EscpPage &&page) {
            const DeviceMetrics metrics = SheetMetrics(page);
            if (!document)
                document.emplace(part.path, metrics, options.title, fonts);
            else if (metrics.physicalMm == sheet)
                document->newPage();
            else
                document->newPage(metrics);
            sheet = metrics.physicalMm;
            DrawEscpPage(*document->canvas(), page, PdfDpi);
        });
        document->finish();
    } catch (...) {
        if (document)
            document->discard();
        ::unlink(QFile::encodeName(part.path).constData());
        throw;
    }
    Publish(part.path, pdfPath);
}

} // namespace

QString PrintLanguageName(PrintLanguage language)
{
    switch (language) {
    case PrintLanguage::Escp: return QStringLiteral("ESC/P");
    case PrintLanguage::PlainText: return QStringLiteral("tekst");
    case PrintLanguage::Pdf: return QStringLiteral("PDF");
    case PrintLanguage::PostScript: return QStringLiteral("PostScript");
    case PrintLanguage::Pcl: return QStringLiteral("PCL");
    }
    return {};
}

PrintLanguage DetectPrintLanguage(const QByteArray &bytes)
{
    QByteArrayView head(bytes);
    qsizetype start = 0;
    while (start < head.size() && (head[start] == '\r' || head[start] == '\n'))
        ++start;
    if (head.sliced(start).startsWith("%PDF"))
        return PrintLanguage::Pdf;
    if (head.startsWith("%!") || head.startsWith("\x04%!"))
        return PrintLanguage::PostScript;
    // A job-language header names the language that follows it.
    const qsizetype uel = head.first(std::min<qsizetype>(head.size(), 128)).indexOf("\x1b%-12345X");
    if (uel >= 0) {
        if (HasPjlLanguage(head, "POSTSCRIPT"))
            return PrintLanguage::PostScript;
        if (HasPjlLanguage(head, "PCL"))
            return PrintLanguage::Pcl;
    }
    // ESC E is a PCL reset and an ESC/P bold alike: PCL only when a PCL command follows it
    // (ESC, a parameter character, a group letter), as ESC &l or ESC *t do.
    if (head.size() >= 5 && head.startsWith("\x1b" "E\x1b") && head[3] >= '!' && head[3] <= '/'
        && head[4] >= '`' && head[4] <= '~')
        return PrintLanguage::Pcl;
    return bytes.contains('\x1b') ? PrintLanguage::Escp : PrintLanguage::PlainText;
}

PrintStreamReport RenderPrintStream(const QByteArray &bytes, const PrintStreamOptions &options,
                                    const QString &pdfPath)
{
    PrintStreamReport report;
    report.language = DetectPrintLanguage(bytes);
    switch (report.language) {
    case PrintLanguage::Pdf:
        report.pages = 0;
        WriteFileAtomically(pdfPath, bytes, 0640);
        break;
    case PrintLanguage::PostScript:
    case PrintLanguage::Pcl: {
        const PartFile part = NewPart(pdfPath); // locked while Ghostscript writes it
        try {
            ConvertWithGhostscript(bytes, report.language == PrintLanguage::Pcl, part.path);
        } catch (...) {
            ::unlink(QFile::encodeName(part.path).constData());
            throw;
        }
        Publish(part.path, pdfPath);
        break;
    }
    case PrintLanguage::Escp:
    case PrintLanguage::PlainText: RenderEscp(bytes, options, pdfPath, report); break;
    }
    return report;
}

PrintStreamReport InspectPrintStream(const QByteArray &bytes, const PrintStreamOptions &options)
{
    PrintStreamReport report;
    report.language = DetectPrintLanguage(bytes);
    if (report.language == PrintLanguage::Escp || report.language == PrintLanguage::PlainText)
        Interpret(bytes, options, report, [](EscpPage &&) {});
    return report;
}

} // namespace ostrevo
