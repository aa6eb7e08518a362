#include "lpt/CaptureDelivery.h"

#include "devices/CupsQueues.h"
#include "devices/FreeFileName.h"
#include "escp/PrintStream.h"
#include "jobs/AtomicFile.h"
#include "jobs/Errors.h"
#include "jobs/UniqueFd.h"
#include "lpt/CaptureFiles.h"
#include "lpt/DeliveryRecord.h"
#include "lpt/PortPlaces.h"
#include "net/MailMessage.h"
#include "net/SystemMail.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {

const QString CaptureKind = QStringLiteral("jkLpt");
// A print job of a DOS program is kilobytes, a page of graphics a few megabytes; a file
// beyond this is no print job, and is not read into memory.
constexpr qint64 MaxCaptureBytes = 512LL * 1024 * 1024;

QString Decoded(const QByteArray &name)
{
    return QFile::decodeName(name);
}

QByteArray ReadCapture(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        throw IoError(ErrnoText(errno));
    if (st.st_size > MaxCaptureBytes)
        throw ConversionError(QStringLiteral("plik ma %1 MB, więcej niż wydruk może mieć").arg(st.st_size >> 20));
    QByteArray bytes;
    char buffer[64 * 1024];
    for (off_t offset = 0;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw IoError(ErrnoText(errno));
        if (n == 0)
            return bytes;
        bytes.append(buffer, n);
        offset += n;
        if (bytes.size() > MaxCaptureBytes)
            throw ConversionError(QStringLiteral("plik ma więcej niż %1 MB").arg(MaxCaptureBytes >> 20));
    }
}

// "LPT1-20261210-081502-123-4567.prn" -> "LPT1-20261210-081502-123-4567"; a name of an
// emulator's own ("prt0001.prn") is prefixed with its port, so its PDF tells where it came from.
QString PdfBaseName(const QString &port, const QByteArray &captureName)
{
    QString stem = Decoded(captureName);
    const qsizetype dot = stem.lastIndexOf(u'.');
    if (dot > 0)
        stem.truncate(dot);
    if (!stem.startsWith(port + u'-', Qt::CaseInsensitive))
        stem = port + u'-' + stem;
    return SafeFileStem(stem, port);
}

// Renders the capture into a new hidden part file in `folder`; returns its path. Throws
// OutputUnavailable when the folder cannot take it, JobError when the stream is refused.
QString RenderInto(const QByteArray &bytes, const PortTarget &target, const QByteArray &name, const QString &folder,
                   bool makeFolder, PrintStreamReport &report)
{
    if (makeFolder)
        QDir().mkpath(folder);
    if (!QFileInfo(folder).isDir())
        throw OutputUnavailable(QStringLiteral("katalog na PDF %1 nie istnieje").arg(folder));
    int error = 0;
    PartFile part = CreatePartFile(folder, PdfBaseName(target.port.name, name), error);
    if (part.fd.fd < 0)
        throw OutputUnavailable(QStringLiteral("nie można zapisać PDF w %1: %2").arg(folder, ErrnoText(error)));
    PrintStreamOptions options;
    options.codePage = target.port.kodowanie;
    options.pageLines = target.port.wiersze;
    options.title = Decoded(name);
    try {
        report = RenderPrintStream(bytes, options, part.path);
    } catch (...) {
        QFile::remove(part.path);
        throw;
    }
    return part.path;
}

quint64 InodeOf(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? quint64(st.st_ino) : 0;
}

// The published PDF, found by the inode its part file had: the rename kept it.
QString FindByInode(const QString &folder, quint64 inode)
{
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo &file : files) {
        if (InodeOf(file.filePath()) == inode)
            return file.filePath();
    }
    return {};
}

QString SubmitToCups(const QString &queue, const QString &pdf, const QString &title)
{
    CupsOptions options;
    if (const std::optional<CupsQueueSetup> setup = CupsQueueDefaults(queue))
        options = CupsJobOptions(setup->mode, setup->media);
    return CupsSubmitFile(queue, pdf, title, options);
}

QString StreamSummary(const QString &port, const PrintStreamReport &report)
{
    QString text = port + QStringLiteral(": ") + PrintLanguageName(report.language);
    if (!report.codePage.isEmpty())
        text += QStringLiteral(", strona kodowa %1%2")
                    .arg(report.codePage, report.codePageGuessed ? QStringLiteral(" (rozpoznana)") : QString());
    // A PDF passes as it is, uncounted.
    if (report.language == PrintLanguage::Pdf && report.pages == 0)
        return text;
    return text + QStringLiteral(", stron: %1").arg(report.pages);
}

} // namespace

struct CaptureDelivery::Run {
    const PortTarget &target;
    QByteArray name;
    QString id;
    int dir = -1;
    int file = -1;
    CaptureIdentity identity;
    QElapsedTimer clock;
    QByteArray bytes;
    bool bytesRead = false;
    DeliveryRecord record;
    QString staged; // a PDF written only to be printed or mailed; removed at the end
    QStringList notes;
    bool attention = false; // something failed or is uncertain: the line says FAILED
    bool mailQueued = false;

    void save() const { WriteRecord(dir, target.directory, name, record); }
    const QByteArray &captureBytes()
    {
        if (!bytesRead) {
            bytes = ReadCapture(file);
            bytesRead = true;
        }
        return bytes;
    }
};

PortTarget TargetOf(const PortSettings &port, const Settings &settings, const QString &programDir)
{
    PortTarget target;
    target.port = port;
    target.directory = PortDirectory(port, settings, programDir);
    target.pdfFolder = PortPdfFolder(port, settings, programDir);
    target.builtinFolder = port.katalogPdf.isEmpty() && PrintsOnBuiltinPrinter(port);
    if (!PrintsOnBuiltinPrinter(port))
        target.queue = port.drukarka;
    return target;
}

CaptureDelivery::CaptureDelivery(Settings settings, QString stagingDir, DeliveryServices services)
    : m_settings(std::move(settings)), m_stagingDir(std::move(stagingDir)), m_services(std::move(services))
{
}

DeliveryResult CaptureDelivery::deliver(const PortTarget &target, const QByteArray &name, const QString &id)
{
    if (m_services.quitting && m_services.quitting())
        return {DeliveryResult::Quit, {}};
    Run run{target, name, id};
    run.clock.start();
    UniqueFd dir(::open(QFile::encodeName(target.directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd < 0)
        return {DeliveryResult::Later,
                QStringLiteral("nie można otworzyć katalogu portu %1: %2").arg(target.directory, ErrnoText(errno))};
    UniqueFd file(::openat(dir.fd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.fd < 0) {
        // Gone meanwhile, or a link: no print job.
        if (errno == ENOENT || errno == ELOOP)
            return {DeliveryResult::Done, {}};
        return {DeliveryResult::Later, QStringLiteral("nie można odczytać %1: %2").arg(Decoded(name), ErrnoText(errno))};
    }
    struct stat st;
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return {DeliveryResult::Done, {}};
    // The monitor and `ostrevo --lpt` never take one capture at once; nor while anyone writes it.
    if (::flock(file.fd, LOCK_EX | LOCK_NB) != 0 || WritersOf(dir.fd, name) == Writers::Some)
        return {DeliveryResult::Busy, {}};
    run.dir = dir.fd;
    run.file = file.fd;
    run.identity = CaptureIdentity::of(st);
    std::optional<DeliveryRecord> record = ReadRecord(dir.fd, name);
    // A record of an earlier capture of the same name (a stop before its removal).
    if (record && !(record->capture == run.identity)) {
        RemoveRecord(dir.fd, name);
        record.reset();
    }
    try {
        if (record) {
            run.record = *record;
            return resume(run);
        }
        return fresh(run);
    } catch (const JobError &e) {
        return later(run, e.message());
    }
}

DeliveryResult CaptureDelivery::fresh(Run &run)
{
    const PortTarget &t = run.target;
    try {
        run.captureBytes();
    } catch (const ConversionError &e) {
        return reject(run, e.message());
    }
    if (run.bytes.isEmpty()) {
        if (::unlinkat(run.dir, run.name.constData(), 0) == 0)
            SyncDirectory(run.dir);
        journal(run, true, t.port.name + QStringLiteral(": pusty plik, bez wydruku; usunięty"), true);
        return {DeliveryResult::Done, {}};
    }
    run.record.captureName = run.name;
    run.record.capture = run.identity;
    run.record.id = run.id;
    const bool keep = !t.pdfFolder.isEmpty();
    QString part;
    try {
        part = RenderInto(run.bytes, t, run.name, keep ? t.pdfFolder : m_stagingDir, !keep || t.builtinFolder,
                          run.record.report);
    } catch (const OutputUnavailable &e) {
        return later(run, e.message());
    } catch (const JobError &e) {
        return reject(run, e.message());
    } catch (const std::exception &e) {
        return reject(run, QString::fromLocal8Bit(e.what()));
    }
    if (!keep) {
        run.staged = part;
        return sendOn(run);
    }
    // Published under a free name; which name the record learns after the rename, by the
    // inode the file keeps, should the program stop in between.
    run.record.pendingPart = part;
    run.record.pendingInode = InodeOf(part);
    run.record.pendingFolder = t.pdfFolder;
    try {
        run.save();
    } catch (...) {
        QFile::remove(part);
        throw;
    }
    int error = 0;
    const QString pdf = PublishUnderFreeName(part, t.pdfFolder, PdfBaseName(t.port.name, run.name), QStringLiteral("pdf"), error);
    if (pdf.isEmpty())
        return later(run, QStringLiteral("nie można zapisać PDF w %1: %2").arg(t.pdfFolder, ErrnoText(error)));
    run.record.keptPdf = pdf;
    run.record.pendingPart.clear();
    run.save();
    return sendOn(run);
}

DeliveryResult CaptureDelivery::resume(Run &run)
{
    DeliveryRecord &r = run.record;
    if (r.delivered) {
        run.notes.append(QStringLiteral("dostarczony przed zatrzymaniem programu, nie powtarzam; plik portu usunięty teraz"));
        finish(run);
        return {DeliveryResult::Done, {}};
    }
    if (!r.pendingPart.isEmpty()) {
        if (QFileInfo::exists(r.pendingPart)) {
            int error = 0;
            r.keptPdf = PublishUnderFreeName(r.pendingPart, r.pendingFolder, PdfBaseName(run.target.port.name, run.name),
                                             QStringLiteral("pdf"), error);
            if (r.keptPdf.isEmpty())
                return later(run, QStringLiteral("nie można zapisać PDF w %1: %2").arg(r.pendingFolder, ErrnoText(error)));
        } else {
            // Published before the stop, under a name the record did not learn.
            r.keptPdf = FindByInode(r.pendingFolder, r.pendingInode);
        }
        r.pendingPart.clear();
        run.save();
    }
    return sendOn(run);
}

QString CaptureDelivery::pdfToSend(Run &run)
{
    if (!run.record.keptPdf.isEmpty() && QFileInfo::exists(run.record.keptPdf))
        return run.record.keptPdf;
    if (run.staged.isEmpty()) {
        // Printed or mailed after a stop: the PDF is made again from the capture.
        PrintStreamReport report;
        run.staged = RenderInto(run.captureBytes(), run.target, run.name, m_stagingDir, true, report);
    }
    return run.staged;
}

DeliveryResult CaptureDelivery::sendOn(Run &run)
{
    const PortTarget &t = run.target;
    DeliveryRecord &r = run.record;
    if (!r.keptPdf.isEmpty())
        run.notes.append(QStringLiteral("PDF: ") + r.keptPdf);
    else if (!t.pdfFolder.isEmpty())
        run.notes.append(QStringLiteral("PDF zapisany przed zatrzymaniem programu w %1 (już go tam nie ma)").arg(t.pdfFolder));

    if (!t.queue.isEmpty()) {
        if (r.print == DeliveryRecord::Step::NotYet) {
            const QString pdf = pdfToSend(run);
            r.print = DeliveryRecord::Step::Started;
            run.save();
            const QString why = SubmitToCups(t.queue, pdf, Decoded(run.name));
            if (!why.isEmpty()) {
                r.print = DeliveryRecord::Step::NotYet;
                run.save();
                return later(run, QStringLiteral("drukarka %1: %2").arg(t.queue, why));
            }
            r.print = DeliveryRecord::Step::Done;
            r.printDetail = QStringLiteral("wysłany na drukarkę %1").arg(t.queue);
            run.save();
        } else if (r.print == DeliveryRecord::Step::Started) {
            r.printDetail = QStringLiteral("nie wiadomo, czy wydruk na %1 poszedł przed zatrzymaniem programu; "
                                           "nie drukuję go ponownie").arg(t.queue);
            run.attention = true;
        }
        run.notes.append(r.printDetail);
    }

    if (t.port.otworz) {
        if (r.keptPdf.isEmpty() || !QFileInfo::exists(r.keptPdf))
            run.notes.append(QStringLiteral("nie otwarto: PDF nie jest zachowany (bez KatalogPDF)"));
        else if (const QString why = m_services.open ? m_services.open(r.keptPdf) : QStringLiteral("brak pulpitu");
                 why.isEmpty())
            run.notes.append(QStringLiteral("otwarto"));
        else
            run.notes.append(QStringLiteral("nie otwarto: ") + why);
    }

    if (!t.port.mail.isEmpty()) {
        if (r.mail == DeliveryRecord::Step::NotYet) {
            mailTo(run, pdfToSend(run));
        } else if (r.mail == DeliveryRecord::Step::Started) {
            r.mailDetail = QStringLiteral("nie wiadomo, czy list do %1 wysłano przed zatrzymaniem programu; "
                                          "nie wysyłam go ponownie").arg(t.port.mail);
            run.attention = true;
        }
        run.notes.append(r.mailDetail);
    }

    r.delivered = true;
    run.save();
    finish(run);
    return {DeliveryResult::Done, {}};
}

QString CaptureDelivery::mailTo(Run &run, const QString &pdf)
{
    const PortTarget &t = run.target;
    DeliveryRecord &r = run.record;
    const int route = m_settings.mail.poczta;
    if (route != 0 && route != 1) {
        run.attention = true;
        return QStringLiteral("poczta do %1 nie wysłana: [Mail] Poczta=%2").arg(t.port.mail).arg(route);
    }
    QFile file(pdf);
    if (!file.open(QIODevice::ReadOnly))
        throw IoError(QStringLiteral("nie można odczytać %1: %2").arg(pdf, file.errorString()));
    MailContent content;
    content.from = m_settings.mail.userName.toUtf8();
    content.to = t.port.mail.toUtf8();
    content.headerCharset = "utf-8";
    content.charset = "utf-8";
    content.subject = QStringLiteral("Wydruk z portu %1: %2").arg(t.port.name, Decoded(run.name)).toUtf8();
    content.body = {QStringLiteral("Wydruk z portu %1 (plik %2, stron: %3) jest w załączniku.")
                        .arg(t.port.name, Decoded(run.name))
                        .arg(r.report.pages)
                        .toUtf8()};
    const QString attachment = r.keptPdf.isEmpty() ? PdfBaseName(t.port.name, run.name) + QStringLiteral(".pdf")
                                                   : QFileInfo(r.keptPdf).fileName();
    content.attachments.append({attachment, file.readAll()});

    // Once handed on, a message is never handed on again: a stop right after leaves the
    // step started, and the next start says so instead of sending it twice.
    r.mail = DeliveryRecord::Step::Started;
    run.save();
    QString detail;
    if (route == 1) {
        SpooledMail mail;
        mail.resultDir = t.directory;
        mail.writesResult = false;
        mail.jobId = run.id;
        mail.jobFile = Decoded(run.name);
        mail.jobKind = CaptureKind;
        mail.from = ParseRecipients(content.from).value(0);
        mail.recipients = ParseRecipients(content.to);
        mail.message = BuildMessage(content);
        QString spooled;
        try {
            if (!m_services.spoolMail)
                throw IoError(QStringLiteral("brak kolejki poczty"));
            spooled = m_services.spoolMail(mail);
        } catch (...) {
            r.mail = DeliveryRecord::Step::NotYet;
            run.save();
            throw;
        }
        run.mailQueued = true;
        detail = QStringLiteral("poczta do %1 w kolejce jako %2").arg(t.port.mail, spooled);
    } else {
        QString why;
        const SystemMail sendmail(m_settings.mail.sendmail);
        if (sendmail.send(BuildMessage(content), m_services.quitting ? m_services.quitting : [] { return false; }, why) == 0) {
            detail = QStringLiteral("wysłany pocztą do %1").arg(t.port.mail);
        } else {
            detail = QStringLiteral("poczta do %1 nie wysłana: %2").arg(t.port.mail, why);
            run.attention = true;
        }
    }
    r.mail = DeliveryRecord::Step::Done;
    r.mailDetail = detail;
    run.save();
    return detail;
}

void CaptureDelivery::finish(Run &run)
{
    struct stat now;
    // Only the capture held: a file put in its place meanwhile is another print job.
    const bool same = ::fstatat(run.dir, run.name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0
        && quint64(now.st_ino) == run.identity.inode;
    if (same && ::unlinkat(run.dir, run.name.constData(), 0) != 0) {
        // The record says it was delivered: never again, whenever it can be deleted.
        run.notes.append(QStringLiteral("nie można usunąć pliku portu: %1; nie zostanie dostarczony ponownie")
                             .arg(ErrnoText(errno)));
        run.attention = true;
    } else {
        SyncDirectory(run.dir);
        RemoveRecord(run.dir, run.name);
    }
    if (!run.staged.isEmpty())
        QFile::remove(run.staged);
    QString detail = StreamSummary(run.target.port.name, run.record.report);
    if (!run.notes.isEmpty())
        detail += QStringLiteral("; ") + run.notes.join(QStringLiteral("; "));
    if (!run.record.report.unknownCommands.isEmpty())
        detail += QStringLiteral("; nieznane polecenia: ") + run.record.report.unknownCommands.join(QStringLiteral(", "));
    journal(run, !run.attention, detail);
    // After the line: the mail's own later line then follows the capture's.
    if (run.mailQueued && m_services.wakeMailSender)
        m_services.wakeMailSender();
}

DeliveryResult CaptureDelivery::reject(Run &run, const QString &why)
{
    int error = 0;
    const QString aside = MoveAside(run.dir, run.target.directory, run.name, error);
    QString detail = QStringLiteral("%1: wydruk odrzucony: %2; ").arg(run.target.port.name, why);
    if (!aside.isEmpty()) {
        RemoveRecord(run.dir, run.name);
        detail += QStringLiteral("plik przeniesiony do ") + aside;
    } else {
        detail += QStringLiteral("nie można go przenieść do %1: %2; zostaje w katalogu portu")
                      .arg(RejectedFolderName(), ErrnoText(error));
    }
    journal(run, false, detail);
    return {DeliveryResult::Done, {}};
}

DeliveryResult CaptureDelivery::later(Run &run, const QString &why)
{
    // A PDF made only for this attempt is made again at the next one.
    if (!run.staged.isEmpty())
        QFile::remove(run.staged);
    return {DeliveryResult::Later, why};
}

void CaptureDelivery::journal(const Run &run, bool ok, const QString &detail, bool nothingDone)
{
    if (!m_services.outcomes)
        return;
    LaterOutcome outcome;
    outcome.id = run.id;
    outcome.directory = run.target.directory;
    outcome.jobFile = Decoded(run.name);
    outcome.kind = CaptureKind;
    outcome.ok = ok;
    outcome.nothingDone = nothingDone;
    outcome.detail = detail;
    outcome.durationMs = run.clock.elapsed();
    if (!run.record.keptPdf.isEmpty())
        outcome.outputs.append(run.record.keptPdf);
    m_services.outcomes->report(outcome);
}

} // namespace ostrevo
