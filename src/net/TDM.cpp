#include "net/TDM.h"

#include "handling/ResultFile.h"
#include "handling/Scramble.h"
#include "jobs/Charsets.h"
#include "jobs/Errors.h"
#include "jobs/JobFile.h"
#include "net/FtpClient.h"
#include "net/HttpClient.h"
#include "net/MailMessage.h"
#include "net/SystemMail.h"
#include "net/WorkDir.h"
#include "net/WorkFileName.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace ostrevo {

namespace {

const QString FtpDir = QStringLiteral("FTP");
const QString MailDir = QStringLiteral("MAIL");
const QString DownloadDir = QStringLiteral("Download");

QByteArray StatusBytes(const QString &text)
{
    return text.toUtf8();
}

void SetKey(const KeyBlock &keys, const char *key, QByteArray &field, bool scrambled = false)
{
    const auto it = keys.constFind(key);
    if (it != keys.constEnd())
        field = scrambled ? UnscramblePassword(*it) : *it;
}

// A remote name or path from the job (in the DOS code page) as it goes to the server: in
// UTF-8, as FTP servers take names today (RFC 2640); ASCII names are unchanged.
QByteArray RemoteName(const QByteArray &dosName)
{
    return Cp852ToUnicode(dosName).toUtf8();
}

FtpTarget TargetOf(const NetJobParams &params, const JobContext &context)
{
    FtpTarget target;
    target.server = params.SERWER;
    target.path = RemoteName(params.PATH);
    target.login = params.LOGIN;
    target.password = params.PASSWORD;
    target.passive = context.settings->passive;
    return target;
}

JobResult Interrupted()
{
    return JobResult::failed(QStringLiteral("przerwane: program jest zamykany"));
}

// The attachment named by F_MAIL, if it is in MAIL. The mail job is written in ISO-8859-2,
// but a DOS program names its files in its own code page: a name with Polish letters is
// looked for as either. A missing file is left out.
std::optional<MailAttachment> ReadAttachment(const JobContext &context, const QByteArray &value)
{
    const WorkDir dir(context.currentJobDir, MailDir, false);
    if (!dir.ok())
        return std::nullopt;
    QString why;
    int fd = -1;
    for (const QString &name : {Win1250ToUnicode(Iso2ToWin1250(value)), Cp852ToUnicode(value)}) {
        if ((fd = dir.openRead(name, why)) >= 0) {
            QFile file;
            if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
                ::close(fd);
                return std::nullopt;
            }
            const QByteArray data = file.readAll();
            if (file.error() != QFileDevice::NoError)
                throw IoError(QStringLiteral("Nie można odczytać %1/%2: %3").arg(dir.path(), name, file.errorString()));
            return MailAttachment{QFile::decodeName(dir.entryName(name)), data};
        }
    }
    return std::nullopt;
}

std::optional<MailAttachment> ReadPdf(const QString &pdfPath)
{
    QFile file(pdfPath);
    if (!QFileInfo(pdfPath).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return MailAttachment{QFileInfo(pdfPath).fileName(), file.readAll()};
}

} // namespace

TDM::TDM(QString programDir, NetTimeouts timeouts)
    : m_programDir(std::move(programDir)), m_timeouts(timeouts),
      m_spool(MailSpool::dirIn(m_programDir)), m_sender(m_spool, timeouts),
      m_rates([this](const JobContext &context, const QByteArray &address, const QByteArray &name, long *status) {
          return HttpDownload(context, address, name, status);
      }, timeouts)
{
    m_sender.warn = [](const QString &message) { qWarning("%s", qUtf8Printable(message)); };
    m_sender.outcomes = &m_outcomes;
}

TDM::~TDM()
{
    m_sender.stop();
}

NetTimeouts TDM::timeoutsOf(const JobContext &context) const
{
    return WithLimit(m_timeouts, context.settings->netLimitSeconds);
}

void TDM::afterSettingsRead(const Settings &settings)
{
    m_sender.setSettings(settings.mail, settings.netLimitSeconds);
    m_sender.start();
}

void TDM::registerHandlers(JobHandlers &handlers)
{
    handlers.set(jkFtp, [this](const JobContext &c, const QString &path) { return FtpJob(c, path); });
    handlers.set(jkMail, [this](const JobContext &c, const QString &path) { return MailJobHandler(c, path); });
    handlers.set(jkDownload, [this](const JobContext &c, const QString &path) { return DownloadJob(c, path); });
    handlers.set(jkWaluta, [this](const JobContext &c, const QString &path) { return m_rates.WalutaJob(c, path); });
}

QString TDM::spoolMail(const SpooledMail &mail)
{
    return m_spool.add(mail);
}

void TDM::wakeMailSender()
{
    m_sender.start();
    m_sender.wake();
}

bool TDM::waitForMail(int timeoutMs)
{
    return m_sender.waitUntilIdle(timeoutMs);
}

void TDM::WriteNetResult(const JobContext &context, const QString &name, const QByteArray &status,
                         bool deleteFtpSource)
{
    // The uploaded file goes whether or not the result could be written; never anything
    // but a plain name inside FTP.
    const auto deleteSource = [&] {
        if (!deleteFtpSource)
            return;
        const WorkFileName source = CheckWorkFileName(m_params.SRC_FILE, "SRC_FILE");
        if (source.ok())
            WorkDir(context.currentJobDir, FtpDir, false).remove(source.name);
    };
    try {
        context.writeResult({context.currentJobDir, name, status});
    } catch (...) {
        deleteSource();
        throw;
    }
    deleteSource();
}

// ---------------------------------------------------------------- FTP upload

JobResult TDM::FtpJob(const JobContext &context, const QString &textPath)
{
    {
        LineReader reader(context.jobText, textPath);
        const QByteArray first = RemoveComment(reader.next().value_or(QByteArray()));
        if (HoldsTag(first, "<FTP>")) {
            const KeyBlock keys = ReadKeyBlock(reader, first);
            SetKey(keys, "SRC_FILE", m_params.SRC_FILE);
            SetKey(keys, "DST_FILE", m_params.DST_FILE);
            SetKey(keys, "SERWER", m_params.SERWER);
            SetKey(keys, "PATH", m_params.PATH);
            SetKey(keys, "LOGIN", m_params.LOGIN, true);
            SetKey(keys, "PASSWORD", m_params.PASSWORD, true);
        }
    }
    return FtpUpload(context);
}

JobResult TDM::FtpUpload(const JobContext &context)
{
    const WorkFileName source = CheckWorkFileName(m_params.SRC_FILE, "SRC_FILE");
    const QString resultName = ResultNameFor(source.name);
    // The remote name too is a name in the walked directory, not a path beside it.
    const WorkFileName remote = CheckWorkFileName(m_params.DST_FILE, "DST_FILE");
    for (const WorkFileName *name : {&source, &remote}) {
        if (!name->ok()) {
            WriteNetResult(context, resultName, StatusBytes(name->problem), false);
            return JobResult::failed(name->problem);
        }
    }
    context.status(QStringLiteral("Łączenie..."));
    QByteArray status = "OK";
    QString why;
    const WorkDir dir(context.currentJobDir, FtpDir, false);
    const int fd = dir.ok() ? dir.openRead(source.name, why) : -1;
    if (!dir.ok())
        why = dir.error();
    if (fd < 0) {
        status = StatusBytes(why);
    } else {
        const UniqueFd file(fd);
        FtpClient client(timeoutsOf(context), context.status, context.quitRequested);
        const NetOutcome outcome = client.store(TargetOf(m_params, context), RemoteName(m_params.DST_FILE), fd);
        if (outcome.cancelled)
            return Interrupted(); // kept with its file for the next start
        if (!outcome.ok)
            status = outcome.error;
    }
    WriteNetResult(context, resultName, status, true);
    return status == "OK" ? JobResult::done() : JobResult::failed(QString::fromUtf8(status));
}

// ---------------------------------------------------------------- download

JobResult TDM::DownloadJob(const JobContext &context, const QString &textPath)
{
    m_params.DST_FILE = QFile::encodeName(JobBaseName(textPath, QStringLiteral(".ftp")));
    {
        LineReader reader(context.jobText, textPath);
        const QByteArray first = reader.next().value_or(QByteArray());
        if (HoldsTag(first, "<DOWNLOAD>")) {
            const KeyBlock keys = ReadKeyBlock(reader, first, true);
            SetKey(keys, "HTTP", m_params.HTTP);
            SetKey(keys, "DBF", m_params.DBF);
            SetKey(keys, "SRC_FILE", m_params.SRC_FILE);
            SetKey(keys, "SERWER", m_params.SERWER);
            SetKey(keys, "PATH", m_params.PATH);
            SetKey(keys, "LOGIN", m_params.LOGIN, true);
            SetKey(keys, "PASSWORD", m_params.PASSWORD, true);
        }
    }
    if (m_params.HTTP.isEmpty())
        return FtpDownload(context);

    // The HTTP route reports nothing: the legacy program looks for the file. A name that
    // would lead outside Download is refused in the one place it can read.
    const WorkFileName local = CheckWorkFileName(m_params.SRC_FILE, "SRC_FILE");
    if (!local.ok()) {
        WriteNetResult(context, JobBaseName(textPath, QStringLiteral(".txt")), StatusBytes(local.problem), false);
        return JobResult::failed(local.problem);
    }
    if (HttpDownload(context, m_params.HTTP, m_params.SRC_FILE) != 0) {
        if (context.quitRequested())
            return Interrupted();
        return JobResult::failed(QStringLiteral("nic nie pobrano z %1").arg(QString::fromUtf8(m_params.HTTP)));
    }
    return JobResult::done();
}

int TDM::HttpDownload(const JobContext &context, const QByteArray &address, const QByteArray &name, long *httpStatus)
{
    if (httpStatus)
        *httpStatus = 0;
    const WorkFileName local = CheckWorkFileName(name, "SRC_FILE");
    if (!local.ok())
        return 1;
    const WorkDir dir(context.currentJobDir, DownloadDir, true);
    if (!dir.ok())
        throw IoError(dir.error());
    // Fetched beside its name and renamed over it once complete: a failure leaves no new
    // file, and an older one stays whole. What a killed run left goes first.
    dir.removeStaleParts();
    QByteArray part;
    QString why;
    const UniqueFd file = dir.createPart(part, why);
    if (file.fd < 0)
        return 1;
    context.status(QStringLiteral("Pobieranie pliku..."));
    const NetOutcome outcome = HttpGet(TrimControl(address), file.fd, timeoutsOf(context), context.quitRequested,
                                       context.settings->mail.caFile);
    if (httpStatus)
        *httpStatus = outcome.httpStatus;
    if (!outcome.ok || ::fsync(file.fd) != 0 || dir.publish(part, local.name, true) != 0) {
        ::unlinkat(dir.fd(), part.constData(), 0);
        return 1;
    }
    return 0;
}

JobResult TDM::FtpDownload(const JobContext &context)
{
    const QString resultName = ResultNameFor(QFile::decodeName(m_params.DST_FILE));
    const WorkFileName remote = CheckWorkFileName(m_params.SRC_FILE, "SRC_FILE");
    if (!remote.ok()) {
        WriteNetResult(context, resultName, StatusBytes(remote.problem), false);
        return JobResult::failed(remote.problem);
    }
    context.status(QStringLiteral("Łączenie..."));
    QByteArray status = "OK";
    QString why;
    const WorkDir dir(context.currentJobDir, FtpDir, true);
    const QString localName = QFile::decodeName(m_params.DST_FILE);
    if (!dir.ok())
        why = dir.error();
    // An earlier NAME.ftp stays as it is: the job fails rather than replace it.
    const bool taken = dir.ok() && ::faccessat(dir.fd(), dir.entryName(localName).constData(), F_OK,
                                               AT_SYMLINK_NOFOLLOW) == 0;
    if (taken)
        why = QStringLiteral("%1/%2 już istnieje").arg(dir.path(), localName);
    if (dir.ok())
        dir.removeStaleParts();
    QByteArray part;
    const UniqueFd file = dir.ok() && !taken ? dir.createPart(part, why) : UniqueFd();
    const int fd = file.fd;
    if (fd < 0) {
        status = "NOT";
    } else {
        // Written under a part name and given its own only when whole: a kill in the
        // middle leaves no half file under the name the legacy program reads.
        FtpClient client(timeoutsOf(context), context.status, context.quitRequested);
        const NetOutcome outcome = client.retrieve(TargetOf(m_params, context), RemoteName(m_params.SRC_FILE), fd);
        int published = 0;
        if (outcome.ok && (::fsync(fd) != 0 || (published = dir.publish(part, localName, false)) != 0))
            why = QStringLiteral("Nie można zapisać %1/%2: %3").arg(dir.path(), localName, ErrnoText(published ? published : errno));
        if (!outcome.ok || !why.isEmpty())
            ::unlinkat(dir.fd(), part.constData(), 0);
        if (outcome.cancelled)
            return Interrupted();
        if (!outcome.ok) {
            status = "NOT";
            why = QString::fromUtf8(outcome.error);
        } else if (!why.isEmpty()) {
            status = "NOT";
        }
    }
    // Nothing is deleted that the job did not create: FTP/SRC_FILE may be any file of the
    // office's, or the one just downloaded.
    WriteNetResult(context, resultName, status, false);
    return status == "OK" ? JobResult::done() : JobResult::failed(why);
}

// ---------------------------------------------------------------- mail

JobResult TDM::MailJobHandler(const JobContext &context, const QString &textPath)
{
    {
        LineReader reader(context.jobText, textPath);
        ReadMailJob(reader, m_mail);
    }
    m_mail.ResultName = JobBaseName(textPath, QStringLiteral(".txt"));
    const int route = context.settings->mail.poczta;
    if (route != 0 && route != 1)
        return JobResult::done(QStringLiteral("[Mail] Poczta=%1: poczta nie jest wysyłana").arg(route));
    if (route == 0 && m_mail.Addresses.isEmpty())
        return JobResult::done(QStringLiteral("brak adresu"));

    MailContent content;
    QString missingAttachment;
    content.from = context.settings->mail.userName.toUtf8();
    content.subject = m_mail.Subject;
    content.body = m_mail.Body;
    if (!m_mail.Attachment.isEmpty()) {
        const WorkFileName attachment = CheckWorkFileName(m_mail.Attachment, "F_MAIL");
        if (!attachment.ok()) {
            WriteNetResult(context, m_mail.ResultName, StatusBytes(attachment.problem), false);
            return JobResult::failed(attachment.problem);
        }
        if (auto file = ReadAttachment(context, m_mail.Attachment))
            content.attachments.append(*file);
        else
            missingAttachment = QStringLiteral("; wysłano bez F_MAIL=\"%1\": nie ma takiego pliku w %2")
                                    .arg(Win1250ToUnicode(Iso2ToWin1250(m_mail.Attachment)),
                                         QDir(context.currentJobDir).filePath(MailDir));
    }
    if (route == 1) {
        content.to = JoinAddresses(m_mail.Addresses);
        JobResult queued = queueSmtpMail(context, content);
        queued.detail += missingAttachment;
        return queued;
    }
    // One message per address; the result file ends with the last one's status. The job
    // is never performed again once its first message went (it committed itself then):
    // a quit ends the round before the next address, the result says NOT, and the
    // journal names the addresses that got the message and those that did not.
    JobResult result = JobResult::done();
    QStringList served;
    QStringList missed;
    bool quit = false;
    for (const QByteArray &address : std::as_const(m_mail.Addresses)) {
        quit = quit || context.quitRequested();
        if (quit) {
            missed.append(QString::fromUtf8(address.trimmed()));
            continue;
        }
        content.to = address;
        result = sendSystemMail(context, content);
        (result.outcome == JobResult::Done ? served : missed).append(QString::fromUtf8(address.trimmed()));
    }
    if (quit && !served.isEmpty()) {
        WriteNetResult(context, m_mail.ResultName, QByteArrayLiteral("NOT"), false);
        result = JobResult::failed(QStringLiteral("przerwane: program jest zamykany"));
    }
    if (!missed.isEmpty() && !served.isEmpty())
        result.detail += QStringLiteral("; wysłano do %1, nie do %2")
                             .arg(served.join(QStringLiteral(", ")), missed.join(QStringLiteral(", ")));
    result.detail += missingAttachment;
    return quit && served.isEmpty() ? Interrupted() : result;
}

JobResult TDM::sendSystemMail(const JobContext &context, const MailContent &content)
{
    context.status(QStringLiteral("Wysyłanie poczty..."));
    // A message handed to sendmail is not taken back: never sent again after a stop, whose
    // result then says that it may not have gone.
    context.committed(ResultLine{context.currentJobDir, m_mail.ResultName, QByteArrayLiteral("NOT")});
    QString why;
    const SystemMail mail(context.settings->mail.sendmail);
    const bool sent = mail.send(BuildMessage(content), context.quitRequested, why) == 0;
    WriteNetResult(context, m_mail.ResultName, sent ? QByteArrayLiteral("OK") : QByteArrayLiteral("NOT"), false);
    return sent ? JobResult::done() : JobResult::failed(why);
}

JobResult TDM::queueSmtpMail(const JobContext &context, const MailContent &content)
{
    SpooledMail mail;
    mail.resultDir = context.currentJobDir;
    mail.resultName = m_mail.ResultName;
    mail.jobId = context.jobId;
    mail.jobFile = QFileInfo(context.jobTextPath).fileName();
    mail.jobKind = JobKindName(context.kind);
    mail.from = ParseRecipients(content.from).value(0);
    mail.recipients = ParseRecipients(content.to);
    mail.message = BuildMessage(content);
    m_sender.setSettings(context.settings->mail, context.settings->netLimitSeconds);
    // Once spooled the message goes out, and the sender writes its result: never spooled
    // twice.
    context.committed(std::nullopt);
    const QString name = m_spool.add(mail);
    m_sender.start();
    m_sender.wake();
    return JobResult::done(QStringLiteral("w kolejce poczty jako %1/%2").arg(m_spool.dir(), name));
}

void TDM::MailPdf(const JobContext &context, const QString &jobPath, const QString &address, const QString &pdfPath,
                  const QString &subject)
{
    {
        LineReader reader(context.jobText, jobPath);
        ReadMailBody(reader, m_mail);
    }
    m_mail.ResultName = ResultNameFor(QFileInfo(pdfPath).fileName());
    const int route = context.settings->mail.poczta;
    MailContent content;
    content.from = context.settings->mail.userName.toUtf8();
    content.to = address.toUtf8();
    content.subject = subject.toUtf8();
    content.headerCharset = "utf-8"; // the subject and the address came as text
    // The PDF job's file is in CP852, its body too, as its subject: one code page for the
    // whole job, sent in the message's own (ISO-8859-2).
    for (const QByteArray &line : std::as_const(m_mail.Body))
        content.body.append(ConvertPolish(line, PolishCp852, PolishIso2));
    if (auto pdf = ReadPdf(pdfPath))
        content.attachments.append(*pdf);
    if (route == 0) {
        sendSystemMail(context, content);
        m_mail.Body.clear();
    } else if (route == 1) {
        queueSmtpMail(context, content);
    }
}

MailPdfHandOver TDM::mailPdfHandOver()
{
    return [this](const JobContext &context, const QString &jobPath, const QString &address, const QString &pdfPath,
                  const QString &subject) { MailPdf(context, jobPath, address, pdfPath, subject); };
}

} // namespace ostrevo
