#include "ksef/KsefSender.h"

#include "handling/ResultFile.h"
#include "jobs/AtomicFile.h"
#include "jobs/Charsets.h"
#include "jobs/Errors.h"
#include "jobs/JobFile.h"
#include "ksef/KsefJobReader.h"
#include "ksef/KsefOffline.h"
#include "ksef/KsefPrintout.h"
#include "ksef/NipNumber.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {

struct Environment {
    const char *name;
    const char *baseUrl;
};

constexpr Environment Environments[] = {
    {"test", "https://api-test.ksef.mf.gov.pl/v2"},
    {"demo", "https://api-demo.ksef.mf.gov.pl/v2"},
    {"produkcja", "https://api.ksef.mf.gov.pl/v2"},
};

QByteArray Ascii(const QString &text)
{
    QByteArray ascii = Win1250ToAscii(UnicodeToWin1250(text));
    ascii.replace('\r', ' ');
    ascii.replace('\n', ' ');
    return ascii;
}

} // namespace

QByteArray KsefAcceptedStatus(const QString &ksefNumber, const QString &acquisitionDate)
{
    return "OK\r\nNR_KSEF=" + ksefNumber.toLatin1() + "\r\nDATA_KSEF=" + acquisitionDate.toLatin1();
}

QByteArray KsefFailedStatus(const QByteArray &code, const QString &reason)
{
    return code + "\r\nOPIS=" + Ascii(reason);
}

QByteArray KsefOfflineStatus(const QDate &deadline, const QString &reason)
{
    return "OFFLINE\r\nTERMIN=" + deadline.toString(Qt::ISODate).toLatin1() + "\r\nOPIS=" + Ascii(reason);
}

QString SecretFileProblem(const QString &path, const QString &setting)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return QStringLiteral("[KSeF] %1=%2: nie ma takiego pliku").arg(setting, path);
    // A token or a key lets anyone issue invoices in the seller's name.
    if ((st.st_mode & 077) != 0 || st.st_uid != ::geteuid())
        return QStringLiteral("[KSeF] %1=%2: plik mogą czytać inni; powinien należeć do użytkownika monitora i mieć "
                              "prawa 600 (chmod 600)").arg(setting, path);
    return {};
}

std::optional<KsefEndpoint> KsefEndpointOf(const KsefSettings &settings, const QString &programDir, QString &problem)
{
    KsefEndpoint endpoint;
    for (const Environment &e : Environments) {
        if (settings.environment == QLatin1StringView(e.name))
            endpoint.baseUrl = e.baseUrl;
    }
    if (endpoint.baseUrl.isEmpty()) {
        problem = settings.environment.isEmpty()
            ? QStringLiteral("KSeF nie jest ustawiony: w Ostrevo.ini brak [KSeF] Srodowisko=test, demo albo produkcja")
            : QStringLiteral("[KSeF] Srodowisko=%1: znane są test, demo i produkcja").arg(settings.environment);
        return std::nullopt;
    }
    if (!settings.address.isEmpty())
        endpoint.baseUrl = settings.address.toUtf8();
    while (endpoint.baseUrl.endsWith('/'))
        endpoint.baseUrl.chop(1);
    const QString nip = NormalisedNip(settings.nip);
    if (nip.isEmpty()) {
        problem = QStringLiteral("[KSeF] NIP=%1 to nie jest NIP sprzedawcy").arg(settings.nip);
        return std::nullopt;
    }
    endpoint.nip = nip.toLatin1();
    if (settings.tokenFile.isEmpty()) {
        problem = QStringLiteral("w Ostrevo.ini brak [KSeF] Token= (plik z tokenem KSeF)");
        return std::nullopt;
    }
    const QString path = QDir(programDir).absoluteFilePath(settings.tokenFile);
    if (problem = SecretFileProblem(path, QStringLiteral("Token")); !problem.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("[KSeF] Token=%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    endpoint.token = file.read(4096).trimmed();
    if (endpoint.token.isEmpty()) {
        problem = QStringLiteral("[KSeF] Token=%1: plik jest pusty").arg(path);
        return std::nullopt;
    }
    endpoint.caFile = settings.caFile;
    return endpoint;
}

KsefSender::KsefSender(KsefQueue &queue, QString programDir, NetTimeouts timeouts, KsefPacing pacing)
    : m_queue(queue), m_programDir(std::move(programDir)), m_timeouts(timeouts), m_pacing(pacing)
{
    setRetrySeconds(60);
}

KsefSender::~KsefSender()
{
    stop();
}

void KsefSender::setSettings(const KsefSettings &settings, int limitSeconds)
{
    std::lock_guard lock(m_settingsMutex);
    m_settings = settings;
    m_timeouts.totalSeconds = limitSeconds;
}

void KsefSender::warnOnce(const QString &problem)
{
    if (problem == m_lastProblem)
        return;
    m_lastProblem = problem;
    if (warn && !problem.isEmpty())
        warn(problem);
}

QueueWorker::Step KsefSender::processOne(const QString &fileName)
{
    std::optional<QueuedInvoice> invoice = m_queue.read(fileName);
    if (!invoice) {
        m_queue.setAside(fileName);
        if (warn)
            warn(QStringLiteral("Faktura %1/%2 z kolejki KSeF jest uszkodzona i nie została wysłana").arg(m_queue.dir(), fileName));
        return Step::Done;
    }
    KsefSettings settings;
    NetTimeouts timeouts;
    {
        std::lock_guard lock(m_settingsMutex);
        settings = m_settings;
        timeouts = m_timeouts;
    }
    QString problem;
    const std::optional<KsefEndpoint> endpoint = KsefEndpointOf(settings, m_programDir, problem);
    if (!endpoint) {
        keepAllOffline(fileName, *invoice, settings, problem);
        warnOnce(QStringLiteral("Faktury czekają w kolejce KSeF: %1").arg(problem));
        return Step::Later;
    }
    if (!m_client || !(settings == m_clientSettings)) {
        m_client = std::make_unique<KsefClient>(*endpoint, timeouts, m_pacing);
        m_client->cancelled = [this] { return givenUp(); };
        m_clientSettings = settings;
    }
    KsefSendResult result;
    if (invoice->invoiceRef.isEmpty()) {
        result = m_client->send(invoice->xml, [&](const QString &sessionRef, const QString &invoiceRef) {
            invoice->sessionRef = sessionRef;
            invoice->invoiceRef = invoiceRef;
            try {
                m_queue.update(fileName, *invoice);
            } catch (const JobError &e) {
                // Sent again at the next run, KSeF answers that it holds it already (440).
                if (warn)
                    warn(e.message());
            }
        }, invoice->offline);
    } else {
        result = m_client->follow(invoice->sessionRef, invoice->invoiceRef);
        // KSeF dropped its processing of the invoice (cancelled with its session, or failed
        // on its side): it goes again, and KSeF knows it by its number if it kept it after all.
        if (result.outcome == KsefSendResult::Unreachable
            && (result.statusCode == 405 || result.statusCode == 500 || result.statusCode == 550)) {
            invoice->sessionRef.clear();
            invoice->invoiceRef.clear();
            try {
                m_queue.update(fileName, *invoice);
            } catch (const JobError &e) {
                if (warn)
                    warn(e.message());
            }
        }
    }
    if (result.outcome == KsefSendResult::Unreachable)
        keepAllOffline(fileName, *invoice, settings, result.reason);
    return conclude(fileName, *invoice, result);
}

void KsefSender::keepAllOffline(const QString &head, QueuedInvoice &invoice, const KsefSettings &settings,
                                const QString &reason)
{
    // Not taken by KSeF: the invoice stands issued offline, and its deadline runs. So does
    // every one waiting behind it, which cannot go before it.
    if (invoice.invoiceRef.isEmpty())
        keepOffline(head, invoice, settings, reason);
    for (const QString &name : m_queue.waiting()) {
        if (name == head)
            continue;
        std::optional<QueuedInvoice> waiting = m_queue.read(name);
        if (waiting && waiting->invoiceRef.isEmpty())
            keepOffline(name, *waiting, settings, reason);
    }
}

void KsefSender::keepOffline(const QString &fileName, QueuedInvoice &invoice, const KsefSettings &settings,
                             const QString &reason)
{
    if (!invoice.issued.isValid())
        invoice.issued = invoice.queuedAt.toLocalTime().date();
    const QDate deadline = KsefOfflineDeadline(invoice.issued);
    if (invoice.offline) {
        remindOfDeadline(fileName, invoice, deadline);
        return;
    }
    invoice.offline = true;
    QString withoutKod2;
    invoice.certificateAddress = KsefCertificateAddress(settings, m_programDir, NormalisedNip(settings.nip), invoice.xml, withoutKod2);
    try {
        m_queue.update(fileName, invoice);
    } catch (const JobError &e) {
        // Sent without offlineMode, KSeF still marks it offline by its late date.
        if (warn)
            warn(e.message());
    }
    try {
        WriteResultFile(invoice.resultDir, invoice.resultName, KsefOfflineStatus(deadline, reason));
    } catch (const JobError &e) {
        if (warn)
            warn(e.message());
    }
    if (!invoice.pdfPath.isEmpty())
        rewritePrintout(invoice, {});
    const QString due = deadline < QDate::currentDate()
        ? QStringLiteral("termin jej wysłania (%1) już minął; kolejka wyśle ją, gdy tylko KSeF będzie dostępny")
        : QStringLiteral("musi trafić do KSeF do %1, kolejka wyśle ją sama");
    QString detail = QStringLiteral("faktura %1 wystawiona w trybie offline, bo KSeF jest nieosiągalny (%2); %3")
                         .arg(invoice.invoiceNumber, reason, due.arg(deadline.toString(Qt::ISODate)));
    if (!withoutKod2.isEmpty())
        detail += QStringLiteral("; %1").arg(withoutKod2);
    report(invoice, false, detail, true);
    m_remindedOn.insert(fileName, QDate::currentDate());
}

void KsefSender::remindOfDeadline(const QString &fileName, const QueuedInvoice &invoice, const QDate &deadline)
{
    const QDate today = QDate::currentDate();
    if (today < deadline || m_remindedOn.value(fileName) == today)
        return;
    m_remindedOn.insert(fileName, today);
    const QString when = today == deadline ? QStringLiteral("dziś mija termin (%1)").arg(deadline.toString(Qt::ISODate))
                                           : QStringLiteral("termin minął %1").arg(deadline.toString(Qt::ISODate));
    report(invoice, false,
           QStringLiteral("faktura %1 wystawiona w trybie offline wciąż czeka na KSeF: %2; wyślij ją, gdy tylko KSeF "
                          "będzie dostępny (albo sprawdź ustawienia [KSeF])")
               .arg(invoice.invoiceNumber, when),
           true);
}

QueueWorker::Step KsefSender::conclude(const QString &fileName, const QueuedInvoice &invoice, const KsefSendResult &result)
{
    switch (result.outcome) {
    case KsefSendResult::Cancelled:
        return Step::Quit;
    case KsefSendResult::Unreachable:
        warnOnce(QStringLiteral("KSeF nie odpowiada, faktury czekają w kolejce: %1").arg(result.reason));
        return Step::Later;
    case KsefSendResult::Rejected:
        m_lastProblem.clear();
        try {
            WriteResultFile(invoice.resultDir, invoice.resultName,
                            KsefFailedStatus(QByteArray::number(result.statusCode), result.reason));
        } catch (const JobError &e) {
            if (warn)
                warn(e.message());
        }
        report(invoice, false, QStringLiteral("faktura %1 odrzucona: %2").arg(invoice.invoiceNumber, result.reason));
        m_queue.remove(fileName);
        m_remindedOn.remove(fileName);
        return Step::Done;
    case KsefSendResult::Accepted:
        break;
    }
    m_lastProblem.clear();
    // The number reaches the DOS program first; the files it holds stay queued until kept,
    // and the invoice is then only followed again (KSeF gives the same number).
    try {
        WriteResultFile(invoice.resultDir, invoice.resultName, KsefAcceptedStatus(result.ksefNumber, result.acquisitionDate));
        const QString archive = WorkDirectory(invoice.resultDir, QStringLiteral("KSEF"));
        QDir().mkpath(archive);
        WriteFileAtomically(archive + u'/' + result.ksefNumber + QStringLiteral(".xml"), invoice.xml, 0640);
        if (!result.upo.isEmpty())
            WriteFileAtomically(archive + u'/' + result.ksefNumber + QStringLiteral("-UPO.xml"), result.upo, 0640);
    } catch (const JobError &e) {
        warnOnce(QStringLiteral("Faktura %1 przyjęta przez KSeF (%2), ale: %3").arg(invoice.invoiceNumber, result.ksefNumber, e.message()));
        return Step::Later;
    }
    if (!invoice.pdfPath.isEmpty())
        rewritePrintout(invoice, result.ksefNumber);
    report(invoice, true,
           QStringLiteral("faktura %1 przyjęta przez KSeF: numer %2%3")
               .arg(invoice.invoiceNumber, result.ksefNumber,
                    result.duplicate ? QStringLiteral(" (KSeF miał ją już wcześniej)") : QString()));
    m_queue.remove(fileName);
    m_remindedOn.remove(fileName);
    return Step::Done;
}

void KsefSender::rewritePrintout(const QueuedInvoice &invoice, const QString &ksefNumber)
{
    try {
        QBuffer buffer;
        buffer.setData(invoice.jobText);
        buffer.open(QIODevice::ReadOnly);
        LineReader reader(&buffer);
        WriteKsefPrintout(invoice.pdfPath, ReadKsefJob(reader), invoice.verificationAddress, ksefNumber,
                          invoice.certificateAddress);
    } catch (const JobError &e) {
        // The buyer's copy keeps "OFFLINE" under its code; the number is in the result file.
        if (warn)
            warn(QStringLiteral("Faktura %1 przyjęta przez KSeF (%2), ale jej pliku PDF nie zapisano od nowa: %3")
                     .arg(invoice.invoiceNumber, ksefNumber, e.message()));
    }
}

void KsefSender::report(const QueuedInvoice &invoice, bool ok, const QString &detail, bool retry)
{
    if (!outcomes)
        return;
    LaterOutcome outcome;
    outcome.jobId = invoice.jobId;
    outcome.directory = invoice.resultDir;
    outcome.jobFile = invoice.jobFile.isEmpty() ? invoice.resultName : invoice.jobFile;
    outcome.kind = QStringLiteral("jkKsef");
    outcome.ok = ok;
    outcome.retry = retry;
    outcome.detail = detail;
    outcomes->report(outcome);
}

void KsefSender::drained()
{
    if (m_client)
        m_client->closeSession();
}

} // namespace ostrevo
