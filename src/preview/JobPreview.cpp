#include "preview/JobPreview.h"

#include "devices/FreeFileName.h"
#include "devices/RealisedFont.h"
#include "handling/RenderReport.h"
#include "jobs/Charsets.h"
#include "jobs/Classifier.h"
#include "jobs/Errors.h"
#include "jobs/JobFile.h"
#include "ksef/KsefCheck.h"
#include "ksef/KsefEarlierInvoice.h"
#include "monitor/JobFiles.h"
#include "monitor/MonitoredDirectories.h"
#include "monitor/SettingsStore.h"
#include "preview/FormPreview.h"
#include "preview/JobInspection.h"
#include "preview/PdfJobPreview.h"
#include "preview/PreviewPrinter.h"
#include "preview/TextPreview.h"
#include "textprint/DuplexScan.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>
#include <sys/stat.h>

namespace ostrevo {

namespace {

QString KindText(JobKind kind)
{
    static const char *const Texts[JobKindCount] = {
        "puste zadanie", "wydruk tekstowy", "formularz na drukarkę", "wysyłka FTP", "poczta",
        "wydruk do pliku PDF", "formularz do pliku PDF", "pobieranie pliku", "otwarcie pliku PDF",
        "druk pliku PDF", "drukarka fiskalna", "kursy walut", "faktura do KSeF",
    };
    return QString::fromUtf8(Texts[kind]) + QStringLiteral(" (") + JobKindName(kind) + u')';
}

QString MessageOf(const std::exception &error)
{
    if (const auto *jobError = dynamic_cast<const JobError *>(&error))
        return jobError->message();
    return QString::fromLocal8Bit(error.what());
}

// The bytes the printout font draws nothing for: controls, the code points Windows-1250
// leaves empty, and whatever the face lacks.
std::array<bool, 256> GlyphlessBytes()
{
    LogFont face;
    face.height = 100;
    const RealisedFont font(face, 600);
    std::array<bool, 256> glyphless{};
    for (int b = 0; b < 256; ++b) {
        const char16_t c = font.character(static_cast<unsigned char>(b));
        glyphless[b] = c < 0x20 || (c >= 0x7f && c < 0xa0) || font.glyph(static_cast<unsigned char>(b)) == 0;
    }
    return glyphless;
}

bool SameFile(const QString &a, const QString &b)
{
    struct stat sa, sb;
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0
        && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The preview's own file, written under a hidden name beside its final one and renamed
// over it only when complete: a failed preview leaves an earlier one as it was.
class PreviewFile {
public:
    explicit PreviewFile(const QString &target) : m_target(target)
    {
        const QFileInfo info(target);
        int error = 0;
        m_part = CreatePartFile(info.absolutePath(), info.completeBaseName(), error);
        if (m_part.fd.fd < 0)
            throw OutputUnavailable(QStringLiteral("Nie można zapisać pliku %1: %2").arg(target, ErrnoText(error)));
    }
    ~PreviewFile()
    {
        if (!m_part.path.isEmpty())
            std::remove(QFile::encodeName(m_part.path).constData());
    }
    const QString &partPath() const { return m_part.path; }
    void publish()
    {
        if (::rename(QFile::encodeName(m_part.path).constData(), QFile::encodeName(m_target).constData()) != 0)
            throw IoError(QStringLiteral("Nie można zapisać pliku %1: %2").arg(m_target, ErrnoText(errno)));
        m_part.path.clear();
    }

private:
    QString m_target;
    PartFile m_part;
};

struct Layout {
    QStringList lines; // what the kind adds to the report before the pages
    int pages = 0;
};

PreviewPrinter LayOutPrinter(const MonitoredPlace &place, Layout &layout, RenderReport &report)
{
    PreviewPrinter printer = ChoosePreviewPrinter(place.number ? place.printerName : QString());
    if (place.number == 0)
        printer.note = QStringLiteral("domyślna: plik nie leży w monitorowanym katalogu");
    layout.lines.append(QStringLiteral("Drukarka: ") + printer.name
                        + (printer.note.isEmpty() ? QString() : QStringLiteral(" (") + printer.note + u')'));
    if (!printer.hasDeviceMode)
        report.add(RenderReport::Other, QStringLiteral("drukarka"),
                   QStringLiteral("drukarka %1 nie udostępnia ustawień urządzenia: zadanie zakończy się błędem")
                       .arg(printer.name));
    return printer;
}

QString DuplexText(std::uint8_t duplex)
{
    return QStringLiteral("Dwustronnie: ")
        + (duplex == 0 ? QStringLiteral("nie")
                       : duplex == 2 ? QStringLiteral("tak, wzdłuż dłuższej krawędzi")
                                     : QStringLiteral("tak, wzdłuż krótszej krawędzi"));
}

JobContext ContextOf(const QString &job, const MonitoredPlace &place, const Settings &settings,
                     const QString &programDir)
{
    JobContext context;
    // Outside the monitored directories the job's own directory stands in for its place.
    context.currentJobDir = place.number ? place.directory : QFileInfo(job).absolutePath();
    context.currentPrinterName = place.printerName;
    context.programDir = programDir;
    context.settings = &settings;
    return context;
}

// The site's symbol table as the monitor reads it; its problems go into the report.
SymbolTable SiteSymbols(const QString &programDir, RenderReport &report)
{
    SymbolTable symbols;
    for (const QString &problem : symbols.loadSiteDefinitions(programDir))
        report.add(RenderReport::Other, problem, QStringLiteral("DefSym.ovx: ") + problem);
    return symbols;
}

Layout LayOutText(const QString &job, const MonitoredPlace &place, const Settings &settings, const QString &programDir,
                  const QString &pdfPath, RenderReport &report)
{
    Layout layout;
    const PreviewPrinter printer = LayOutPrinter(place, layout, report);
    const std::uint8_t duplex = DuplexToApply(ScanDuplexRequest(job), settings.kartka, printer.defaultDuplex);
    layout.lines.append(DuplexText(duplex));
    TextPreviewSetup setup;
    setup.symbols = SiteSymbols(programDir, report).PrinterSymbols;
    setup.metrics = printer.metrics;
    setup.duplex = duplex;
    setup.title = QFileInfo(job).completeBaseName();
    setup.invoiceCode = EarlierInvoiceCodes(ContextOf(job, place, settings, programDir));
    layout.pages = RenderTextPreview(job, setup, pdfPath, &report);
    return layout;
}

Layout LayOutForm(const QString &job, const MonitoredPlace &place, const Settings &settings, const QString &programDir,
                  const QString &pdfPath, RenderReport &report)
{
    Layout layout;
    const PreviewPrinter printer = LayOutPrinter(place, layout, report);
    const JobContext context = ContextOf(job, place, settings, programDir);
    const FormPreview preview = RenderFormPreview(context, job, printer, pdfPath, report);
    layout.lines.append(DuplexText(preview.duplex));
    layout.lines.append(QStringLiteral("Wzorzec: ") + preview.templatePath);
    if (preview.documents > 1)
        layout.lines.append(QStringLiteral("Dokumenty wydruku: %1 (drukarka obraca całe dokumenty: jeden na każdą "
                                           "zmianę orientacji)")
                                .arg(preview.documents));
    layout.pages = preview.pages;
    return layout;
}

// Where a PDF job's file would go and how it would be mailed.
void DescribePdfOutput(Layout &layout, const Settings &settings, const QString &jobOutput, const QByteArray &aMail,
                       const QByteArray &tMail)
{
    layout.lines.append(QStringLiteral("Drukarka: żadna (zadanie zapisuje plik PDF)"));
    layout.lines.append(QStringLiteral("Plik PDF zadania: %1 (podgląd go nie zapisuje)").arg(jobOutput));
    if (aMail.contains('@')) {
        const QString route = settings.mail.poczta == 1
            ? QStringLiteral("własnym klientem SMTP przez %1").arg(settings.mail.serverName)
            : QStringLiteral("pocztą systemu (sendmail)");
        layout.lines.append(QStringLiteral("Poczta: do %1, temat „%2”, %3 (podgląd niczego nie wysyła)")
                                .arg(Cp852ToUnicode(aMail), Cp852ToUnicode(tMail), route));
    }
}

Layout LayOutPdf(const QString &job, const MonitoredPlace &place, const Settings &settings, const QString &programDir,
                 const QString &pdfPath, RenderReport &report)
{
    Layout layout;
    const JobContext context = ContextOf(job, place, settings, programDir);
    const SymbolTable symbols = SiteSymbols(programDir, report);
    const PdfJobPreview preview = RenderPdfJobPreview(context, job, pdfPath, report, &symbols.PrinterSymbols);
    DescribePdfOutput(layout, settings, preview.jobOutput, preview.header.aMail, preview.header.tMail);
    layout.pages = preview.pages;
    return layout;
}

Layout LayOutPdfForm(const QString &job, const MonitoredPlace &place, const Settings &settings,
                     const QString &programDir, const QString &pdfPath, RenderReport &report)
{
    Layout layout;
    const JobContext context = ContextOf(job, place, settings, programDir);
    const PdfFormPreview preview = RenderPdfFormPreview(context, job, pdfPath, report);
    DescribePdfOutput(layout, settings, preview.jobOutput, preview.aMail, preview.tMail);
    layout.lines.append(QStringLiteral("Wzorzec: ") + preview.templatePath);
    layout.pages = preview.pages;
    return layout;
}

// Printouts read their text in CP852; a DOS program set to Mazovia writes Polish letters
// where CP852 has other ones, and the printout shows those.
void ReportMazovianLetters(const QString &job, RenderReport &report)
{
    QFile file(job);
    if (!file.open(QIODevice::ReadOnly))
        return;
    bool clearly = false;
    if (GuessPolishDosTable(file.read(qint64(1) << 20), &clearly) == DosTable::Mazovia && clearly)
        report.add(RenderReport::Other, QStringLiteral("Mazowia"),
                   QStringLiteral("polskie litery stoją na miejscach strony kodowej Mazowia, a wydruk czyta tekst "
                                  "w CP852: zamiast nich wyjdą inne znaki (ustaw w programie DOS stronę 852)"));
}

// A job tag below the first significant line makes no job of its kind: the whole file is
// printed, tag and keys included. Usually a line written before the tag by mistake.
void ReportLateJobTag(const QString &job, RenderReport &report)
{
    LineReader reader(job);
    bool significant = false;
    while (auto raw = reader.next()) {
        const QByteArray line = RemoveComment(*raw);
        if (!significant) {
            significant = !line.isEmpty();
            continue;
        }
        const QByteArray tag = JobTagOf(line);
        if (tag.isEmpty())
            continue;
        report.setLine(reader.lineNumber());
        report.add(RenderReport::Other, QString::fromLatin1(tag),
                   QStringLiteral("znacznik %1 nie stoi w pierwszym znaczącym wierszu: plik zostanie wydrukowany "
                                  "jako tekst, razem ze znacznikiem")
                       .arg(QString::fromLatin1(tag)));
        report.setLine(0);
        return;
    }
}

} // namespace

QString PreviewTargetRefusal(const QString &target, const QString &jobPath)
{
    const QFileInfo info(target);
    if (!QFileInfo(info.absolutePath()).isDir())
        return QStringLiteral("katalog %1 nie istnieje").arg(info.absolutePath());
    if (SameFile(target, jobPath))
        return QStringLiteral("%1 to plik zadania: podgląd go nie nadpisze").arg(target);
    if (info.isSymLink())
        return {};
    if (info.exists() && !info.isFile())
        return QStringLiteral("%1 nie jest zwykłym plikiem").arg(target);
    if (info.exists()) {
        QFile file(target);
        if (!file.open(QIODevice::ReadOnly) || !file.read(5).startsWith("%PDF-"))
            return QStringLiteral("%1 istnieje i nie jest plikiem PDF: podgląd go nie nadpisze").arg(target);
    }
    return {};
}

QString DefaultPreviewPath(const QString &jobPath)
{
    // Not beside the job: previews would pile up in the monitored directory.
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/ostrevo/podglad/")
        + QFileInfo(jobPath).completeBaseName() + QStringLiteral("-podglad.pdf");
}

QString PreviewableKinds()
{
    return QStringLiteral("wydruki tekstowe (bez znacznika), zadania <PDF> i formularze <PIT>");
}

PreviewOutcome PreviewJob(const PreviewRequest &request)
{
    PreviewOutcome outcome;
    QStringList &r = outcome.report;
    const QString job = QFileInfo(request.jobPath).absoluteFilePath();
    r.append(QStringLiteral("Zadanie: ") + job);
    auto fail = [&outcome](int code, const QString &why) {
        outcome.exitCode = code;
        outcome.report.append(QStringLiteral("Błąd: ") + why);
        return outcome;
    };

    const InputCheck input = InspectJobFile(job);
    if (input.problem == InputCheck::Unreadable)
        return fail(PreviewUnreadable, input.message);
    if (input.problem == InputCheck::Binary)
        return fail(PreviewNotAJob, input.message);

    RenderReport report;
    report.setGlyphless(GlyphlessBytes());
    if (!HasSuffixCi(QFile::encodeName(QFileInfo(job).fileName()).constData(), ".txt"))
        report.add(RenderReport::Other, QStringLiteral("nazwa"),
                   QStringLiteral("monitor wykonuje tylko pliki NAZWA.txt (ze znacznikiem NAZWA.END)"));

    SettingsStore store(request.programDir + QStringLiteral("/Ostrevo.ini"));
    const Settings settings = store.read();
    if (!store.readError().isEmpty())
        report.add(RenderReport::Other, QStringLiteral("Ostrevo.ini"), store.readError());
    const MonitoredPlace place = FindJobPlace(job, settings, request.programDir);
    r.append(place.number ? QStringLiteral("Katalog: monitorowany katalog %1 (%2)").arg(place.number).arg(place.directory)
                          : QStringLiteral("Katalog: %1 nie jest monitorowany").arg(QFileInfo(job).absolutePath()));

    JobKind kind = jkEmpty;
    try {
        kind = ClassifyJob(job);
    } catch (const std::exception &error) {
        return fail(PreviewUnreadable, MessageOf(error));
    }
    r.append(QStringLiteral("Rodzaj: ") + KindText(kind));
    if (kind == jkEmpty)
        return fail(PreviewNotAJob, QStringLiteral("plik nie ma ani jednego znaczącego wiersza: monitor usunie go, "
                                                   "nic nie wykonując"));
    if (kind == jkKsef) {
        try {
            const KsefCheck check = CheckKsefJob(job, settings, request.programDir);
            r.append(check.lines);
            r.append(QStringLiteral("Ostrzeżenia: ") + (check.warnings.isEmpty() ? QStringLiteral("brak") : QString::number(check.warnings.size())));
            for (const QString &warning : check.warnings)
                r.append(QStringLiteral("Ostrzeżenie: ") + warning);
            return outcome;
        } catch (const std::exception &error) {
            return fail(PreviewFailed, MessageOf(error));
        }
    }
    if (kind != jkText && kind != jkPdf && kind != jkPit && kind != jkPitPdf)
        return fail(PreviewUnsupported, QStringLiteral("podgląd obejmuje tylko %1").arg(PreviewableKinds()));
    if (kind == jkText)
        ReportLateJobTag(job, report);
    if (kind == jkText || kind == jkPdf)
        ReportMazovianLetters(job, report);

    const QString target = request.outPath.isEmpty() ? DefaultPreviewPath(job)
                                                     : QFileInfo(request.outPath).absoluteFilePath();
    if (request.writePdf) {
        if (request.outPath.isEmpty())
            QDir().mkpath(QFileInfo(target).absolutePath());
        if (const QString refused = PreviewTargetRefusal(target, job); !refused.isEmpty())
            return fail(PreviewFailed, refused);
    }

    Layout layout;
    try {
        // The report alone still lays the job out, into a file that goes with the run.
        QTemporaryDir scratch;
        if (!request.writePdf && !scratch.isValid())
            throw IoError(QStringLiteral("Nie można utworzyć katalogu tymczasowego: %1").arg(scratch.errorString()));
        const QString scratchPdf = scratch.filePath(QStringLiteral("podglad.pdf"));
        if (kind == jkText || kind == jkPit) {
            std::optional<PreviewFile> file;
            if (request.writePdf)
                file.emplace(target);
            const QString pdfPath = file ? file->partPath() : scratchPdf;
            layout = kind == jkText ? LayOutText(job, place, settings, request.programDir, pdfPath, report)
                                    : LayOutForm(job, place, settings, request.programDir, pdfPath, report);
            if (file)
                file->publish();
        } else {
            // That document writes beside its name and renames over it by itself.
            const QString pdfPath = request.writePdf ? target : scratchPdf;
            layout = kind == jkPdf ? LayOutPdf(job, place, settings, request.programDir, pdfPath, report)
                                   : LayOutPdfForm(job, place, settings, request.programDir, pdfPath, report);
        }
    } catch (const std::exception &error) {
        return fail(PreviewFailed, MessageOf(error));
    }

    r.append(layout.lines);
    r.append(QStringLiteral("Stron: %1").arg(layout.pages));
    if (request.writePdf) {
        outcome.pdfPath = target;
        r.append(QStringLiteral("Podgląd: ") + target);
    }
    const QStringList warnings = report.lines();
    r.append(QStringLiteral("Ostrzeżenia: ") + (warnings.isEmpty() ? QStringLiteral("brak") : QString::number(warnings.size())));
    for (const QString &warning : warnings)
        r.append(QStringLiteral("Ostrzeżenie: ") + warning);
    return outcome;
}

} // namespace ostrevo
