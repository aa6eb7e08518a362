#pragma once

#include "handling/LaterOutcomes.h"
#include "handling/QueueWorker.h"
#include "handling/Settings.h"
#include "ksef/KsefClient.h"
#include "ksef/KsefQueue.h"

#include <QHash>

#include <functional>
#include <memory>
#include <mutex>

namespace ostrevo {

// The result lines of an invoice for the DOS program ("error=" and what follows it): "OK"
// with "NR_KSEF=" and "DATA_KSEF=" on lines of their own, "KOLEJKA" while it waits, or a
// code with "OPIS=" (ASCII, as the program reads it).
QByteArray KsefAcceptedStatus(const QString &ksefNumber, const QString &acquisitionDate);
QByteArray KsefFailedStatus(const QByteArray &code, const QString &reason);
inline const QByteArray KsefQueuedStatus = QByteArrayLiteral("KOLEJKA");
// An invoice issued offline: "OFFLINE", the last day it may reach KSeF ("TERMIN=") and why.
QByteArray KsefOfflineStatus(const QDate &deadline, const QString &reason);

// The base address of [KSeF], its seller and its token (a relative Token= is in the
// program directory); `problem` says what is missing or wrong.
std::optional<KsefEndpoint> KsefEndpointOf(const KsefSettings &settings, const QString &programDir, QString &problem);

// Whether a file holding a secret of [KSeF] `setting` (the token, the offline key) is kept
// as one: a regular file of the monitor's user that nobody else may read. Empty when it
// is; else what is wrong.
QString SecretFileProblem(const QString &path, const QString &setting);

// Sends the queued invoices beside the job thread, in queue order, each to its end: the
// result file, the journal, and the sent XML and its UPO kept under the job directory
// (KSEF/). While KSeF cannot be reached the queue waits, in order, and is tried again.
class KsefSender : public QueueWorker {
public:
    KsefSender(KsefQueue &queue, QString programDir, NetTimeouts timeouts, KsefPacing pacing = {});
    ~KsefSender() override;

    void setSettings(const KsefSettings &settings, int limitSeconds);
    using QueueWorker::stop;
    void stop() { stop(m_timeouts.quitGraceMs); }
    // How long the queue waits after KSeF could not be reached.
    void setRetrySeconds(int seconds) { setRetryMs(seconds * 1000); }

    // Told what the user should know and no job's outcome says (KSeF out of reach).
    std::function<void(const QString &)> warn;
    LaterOutcomes *outcomes = nullptr;

private:
    QStringList waiting() override { return m_queue.waiting(); }
    Step processOne(const QString &fileName) override;
    void drained() override;
    Step conclude(const QString &fileName, const QueuedInvoice &invoice, const KsefSendResult &result);
    // `retry`: not an end, a warning about an invoice still queued.
    void report(const QueuedInvoice &invoice, bool ok, const QString &detail, bool retry = false);
    // KSeF did not take the invoice: the first time it becomes issued offline (result
    // file, KOD II, journal); later, the journal is reminded once a day from its deadline on.
    void keepOffline(const QString &fileName, QueuedInvoice &invoice, const KsefSettings &settings, const QString &reason);
    // The same for `head`, which could not go, and every invoice waiting behind it.
    void keepAllOffline(const QString &head, QueuedInvoice &invoice, const KsefSettings &settings, const QString &reason);
    void remindOfDeadline(const QString &fileName, const QueuedInvoice &invoice, const QDate &deadline);
    void rewritePrintout(const QueuedInvoice &invoice, const QString &ksefNumber);
    void warnOnce(const QString &problem);

    KsefQueue &m_queue;
    QString m_programDir;
    NetTimeouts m_timeouts;
    KsefPacing m_pacing;
    std::mutex m_settingsMutex;
    KsefSettings m_settings;
    KsefSettings m_clientSettings;
    std::unique_ptr<KsefClient> m_client;
    QString m_lastProblem;
    QHash<QString, QDate> m_remindedOn; // queue file: the day its invoice's deadline was last told
};

} // namespace ostrevo
