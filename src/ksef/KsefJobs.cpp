#include "ksef/KsefJobs.h"

#include "handling/PdfOutput.h"
#include "handling/ResultFile.h"
#include "jobs/Errors.h"
#include "jobs/JobFile.h"
#include "ksef/Fa3Writer.h"
#include "ksef/KsefJobReader.h"
#include "ksef/KsefPrintout.h"
#include "ksef/KsefVerification.h"
#include "ksef/NipNumber.h"

#include <QDateTime>
#include <QFileInfo>

namespace ostrevo {

KsefJobs::KsefJobs(QString programDir, LaterOutcomes &outcomes, NetTimeouts timeouts, KsefPacing pacing)
    : m_programDir(std::move(programDir)), m_queue(KsefQueue::dirIn(m_programDir)),
      m_sender(m_queue, m_programDir, timeouts, pacing)
{
    m_sender.outcomes = &outcomes;
    m_sender.warn = [](const QString &message) { qWarning("%s", qUtf8Printable(message)); };
}

KsefJobs::~KsefJobs() = default;

void KsefJobs::afterSettingsRead(const Settings &settings)
{
    m_sender.setSettings(settings.ksef, settings.netLimitSeconds);
    // What an earlier run left queued goes out now, if KSeF is set up.
    if (!settings.ksef.environment.isEmpty())
        m_sender.start();
}

void KsefJobs::registerHandler(JobHandlers &handlers)
{
    handlers.set(jkKsef, [this](const JobContext &context, const QString &textPath) { return perform(context, textPath); });
}

bool KsefJobs::waitUntilIdle(int timeoutMs)
{
    return m_queue.waiting().isEmpty() || m_sender.waitUntilIdle(timeoutMs);
}

const Fa3Schema &KsefJobs::schema()
{
    if (!m_schema)
        m_schema = std::make_unique<Fa3Schema>();
    return *m_schema;
}

JobResult KsefJobs::perform(const JobContext &context, const QString &textPath)
{
    const QString resultName = JobBaseName(textPath, QStringLiteral(".txt"));
    const auto refuse = [&](const QByteArray &code, const QString &why) {
        context.writeResult({context.currentJobDir, resultName, KsefFailedStatus(code, why)});
        return JobResult::failed(why);
    };
    const KsefSettings ksef = context.settings->ksef;
    QString problem;
    if (!KsefEndpointOf(ksef, m_programDir, problem))
        return refuse("KONFIGURACJA", problem);

    KsefInvoice invoice;
    QByteArray xml;
    try {
        LineReader reader(context.jobText, textPath);
        invoice = ReadKsefJob(reader);
        if (invoice.seller.nip != NormalisedNip(ksef.nip))
            return refuse("ZADANIE", QStringLiteral("NIP sprzedawcy %1 to nie NIP z [KSeF] NIP=%2: faktury wysyła się "
                                                    "tylko w imieniu tego sprzedawcy").arg(invoice.seller.nip, ksef.nip));
        xml = WriteFa3(invoice, QDateTime::currentDateTimeUtc());
        if (const QString invalid = schema().validate(xml); !invalid.isEmpty())
            return refuse("ZADANIE", QStringLiteral("faktura niezgodna ze schematem FA(3): %1").arg(invalid));
    } catch (const ConversionError &e) {
        return refuse("ZADANIE", e.message());
    }

    QueuedInvoice queued;
    queued.verificationAddress = KsefInvoiceAddress(ksef.environment, invoice.seller.nip, invoice.issued, xml);
    if (!invoice.pdfFile.isEmpty()) {
        // The buyer's copy, with its code: "OFFLINE" under it until KSeF gives the number.
        try {
            queued.pdfPath = PreparePdfOutput(context, invoice.pdfFile, invoice.pdfPath);
            WriteKsefPrintout(queued.pdfPath, invoice, queued.verificationAddress, {});
        } catch (const OutputUnavailable &e) {
            return JobResult::retryLater(e.message());
        } catch (const JobError &e) {
            return refuse("ZADANIE", QStringLiteral("plik PDF faktury: %1").arg(e.message()));
        }
        LineReader again(context.jobText, textPath);
        while (auto line = again.next())
            queued.jobText += *line + "\r\n";
    }
    queued.resultDir = context.currentJobDir;
    queued.resultName = resultName;
    queued.jobId = context.jobId;
    queued.jobFile = QFileInfo(textPath).fileName();
    queued.invoiceNumber = invoice.number;
    queued.issued = invoice.issued;
    queued.queuedAt = QDateTime::currentDateTimeUtc();
    queued.xml = xml;
    // "Waiting" goes first: the sender may write the final result before this job ends.
    context.writeResult({context.currentJobDir, resultName, KsefQueuedStatus});
    QString name;
    try {
        name = m_queue.add(queued);
    } catch (const OutputUnavailable &e) {
        return JobResult::retryLater(e.message()); // a full disk: the job waits, nothing was sent
    } catch (const JobError &e) {
        return refuse("NOT", QStringLiteral("faktura %1 nie trafiła do kolejki KSeF: %2").arg(invoice.number, e.message()));
    }
    // Queued, the invoice is the sender's: the job is never performed again. (Were it, after a
    // crash just here, KSeF would know the second copy by its number and answer with the first.)
    context.committed(std::nullopt);
    m_sender.setSettings(ksef, context.settings->netLimitSeconds);
    m_sender.start();
    m_sender.wake();
    return JobResult::done(QStringLiteral("faktura %1 w kolejce KSeF jako %2/%3").arg(invoice.number, m_queue.dir(), name))
        .withOutput(queued.pdfPath);
}

} // namespace ostrevo
