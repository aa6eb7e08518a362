#include "net/SmtpSender.h"

#include "handling/ResultFile.h"
#include "jobs/Errors.h"

#include <QFile>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <netdb.h>

namespace ostrevo {

namespace {

struct Outgoing {
    QByteArray data;
    qsizetype offset = 0;
};

size_t ReadMessage(char *buffer, size_t size, size_t count, void *state)
{
    auto *out = static_cast<Outgoing *>(state);
    const size_t n = std::min(size * count, size_t(out->data.size() - out->offset));
    std::memcpy(buffer, out->data.constData() + out->offset, n);
    out->offset += qsizetype(n);
    return n;
}

// The legacy program was written against Winsock's error numbers: the common socket
// failures keep those numbers (WSAECONNREFUSED 10061, ...); others are the system's.
long SocketErrorNumber(long error)
{
    switch (error) {
    case ECONNREFUSED: return 10061;
    case ETIMEDOUT: return 10060;
    case EHOSTUNREACH: return 10065;
    case ENETUNREACH: return 10051;
    case ECONNRESET: return 10054;
    case EPIPE: return 10054; // the server dropped the connection while data went to it
    case ECONNABORTED: return 10053;
    case EADDRNOTAVAIL: return 10049;
    default: return error;
    }
}

} // namespace

QByteArray SendSmtpMail(const MailSettings &mail, const SpooledMail &message, const NetTimeouts &timeouts,
                        const std::function<bool()> &stop, bool &cancelled)
{
    cancelled = false;
    if (mail.serverName.trimmed().isEmpty())
        return "No SMTP server: [Mail] ServerName is empty";
    if (message.recipients.isEmpty())
        return "No recipient";
    CurlSession session(timeouts);
    session.cancelled = stop;
    CURL *curl = session.handle();
    const bool implicitTls = mail.serverPort == 465;
    QString host = mail.serverName.trimmed();
    if (host.contains(u':') && !host.startsWith(u'['))
        host = u'[' + host + u']';
    const QByteArray url = (implicitTls ? QByteArrayLiteral("smtps://") : QByteArrayLiteral("smtp://"))
        + QUrl::toAce(host) + ':' + QByteArray::number(mail.serverPort);
    CurlList recipients;
    for (const QByteArray &recipient : message.recipients)
        recipients.append(recipient);
    Outgoing outgoing{message.message};
    const QByteArray user = mail.serverUser.toUtf8();
    const QByteArray password = mail.serverPassword.toUtf8();
    const QByteArray caFile = QFile::encodeName(mail.caFile);

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    // A password never goes in clear text unless the settings say so on purpose: without
    // STARTTLS on offer, a server that asks for one gets nothing.
    const bool tlsRequired = !user.isEmpty() && !mail.clearTextAllowed;
    if (!implicitTls)
        curl_easy_setopt(curl, CURLOPT_USE_SSL, long(tlsRequired ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    if (!caFile.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.constData());
    if (!user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
        curl_easy_setopt(curl, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
    }
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, message.from.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &ReadMessage);
    curl_easy_setopt(curl, CURLOPT_READDATA, &outgoing);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.message.size()));

    const CURLcode code = session.perform();
    if (code == CURLE_OK)
        return "OK";
    if (code == CURLE_USE_SSL_FAILED)
        return "TLS: the server offers no STARTTLS; the password was not sent ([Mail] Szyfrowanie=brak allows "
               "clear text on a trusted network)";
    cancelled = session.wasCancelled();
    // A quit that gives up on the confirmation of a message whose every byte went out: the
    // server has it, and sending it again at the next start would deliver it twice.
    curl_off_t uploaded = 0;
    curl_easy_getinfo(curl, CURLINFO_SIZE_UPLOAD_T, &uploaded);
    if (cancelled && uploaded == curl_off_t(message.message.size())) {
        cancelled = false;
        return "OK";
    }
    if (session.responseCode() >= 400)
        return QByteArray::number(session.responseCode());
    if (code == CURLE_COULDNT_RESOLVE_HOST)
        return "11001"; // WSAHOST_NOT_FOUND
    // No reply in time (after DATA, say) is a time-out of the connection, as Winsock says.
    if (code == CURLE_OPERATION_TIMEDOUT)
        return "10060";
    if (session.osErrno() != 0)
        return QByteArray::number(SocketErrorNumber(session.osErrno()));
    return session.errorText(code);
}

SmtpSender::SmtpSender(MailSpool &spool, NetTimeouts timeouts) : m_spool(spool), m_timeouts(timeouts) {}

SmtpSender::~SmtpSender()
{
    stop();
}

void SmtpSender::setSettings(const MailSettings &mail, int limitSeconds)
{
    std::lock_guard lock(m_settingsMutex);
    m_settings = mail;
    m_timeouts.totalSeconds = limitSeconds;
}

// Quit when the program quits in the middle: the message stays for the next start.
QueueWorker::Step SmtpSender::processOne(const QString &fileName)
{
    const std::optional<SpooledMail> mail = m_spool.read(fileName);
    if (!mail) {
        // Damaged beyond sending; kept aside for a person to look at, never resent.
        QFile::rename(m_spool.dir() + u'/' + fileName, m_spool.dir() + u'/' + fileName + QStringLiteral(".bad"));
        if (warn)
            warn(QStringLiteral("Wiadomość %1/%2 z kolejki poczty jest uszkodzona i nie została wysłana").arg(m_spool.dir(), fileName));
        return Step::Done;
    }
    MailSettings settings;
    NetTimeouts timeouts;
    {
        std::lock_guard lock(m_settingsMutex);
        settings = m_settings;
        timeouts = m_timeouts;
    }
    bool cancelled = false;
    // A quit lets the message being sent finish within its grace.
    const QByteArray status = SendSmtpMail(settings, *mail, timeouts, [this] { return givenUp(); }, cancelled);
    if (cancelled)
        return Step::Quit;
    try {
        if (mail->writesResult)
            WriteResultFile(mail->resultDir, mail->resultName, status);
    } catch (const JobError &e) {
        if (warn)
            warn(e.message());
    }
    if (outcomes) {
        LaterOutcome outcome;
        outcome.jobId = mail->jobId;
        outcome.directory = mail->resultDir;
        outcome.jobFile = mail->jobFile.isEmpty() ? mail->resultName : mail->jobFile;
        outcome.kind = mail->jobKind.isEmpty() ? QStringLiteral("jkMail") : mail->jobKind;
        outcome.ok = status == "OK";
        QStringList to;
        for (const QByteArray &recipient : mail->recipients)
            to.append(QString::fromUtf8(recipient));
        outcome.detail = outcome.ok ? QStringLiteral("list wysłany do %1").arg(to.join(QStringLiteral(", ")))
                                    : QStringLiteral("list do %1 nie został wysłany: error=%2")
                                          .arg(to.join(QStringLiteral(", ")), QString::fromUtf8(status));
        outcomes->report(outcome);
    }
    m_spool.remove(fileName);
    return Step::Done;
}

} // namespace ostrevo
