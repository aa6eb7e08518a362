#pragma once

#include "handling/QueueWorker.h"
#include "handling/Settings.h"
#include "lpt/CaptureDelivery.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>
#include <thread>

namespace ostrevo {

// The printer ports of the monitor: one thread watches the ports' directories (inotify)
// and tells when a file there has become a print job; the queue worker's thread delivers
// the print jobs, each port's in the order they arrived, beside the job thread.
//
// A file renamed into the directory (`ostrevo --lpt`) is a print job at once. A file
// written in place (DOSBox-X) is one once nobody holds it open for writing and it has been
// quiet for the port's Cisza; a write restarts the wait. Files already there at the start
// are print jobs too. Hidden files are never print jobs. A port whose output cannot be
// written now (a folder, CUPS, the mail spool) keeps its print jobs and tries again after
// 2 s, doubling up to a minute, while the other ports go on.
class PortSpooler : public QueueWorker {
public:
    PortSpooler(QString programDir, DeliveryServices services);
    ~PortSpooler() override;

    // The ports of the settings just read. Returns what is wrong with them, one message
    // per port that is skipped for it; each is journaled too.
    QStringList configure(const Settings &settings, const QStringList &printers);
    // The monitor: watches the ports' directories and delivers (idempotent).
    void startWatching();
    // Ends both threads; the print job in hand has `graceMs` to finish.
    void stopAll(int graceMs);

    // `ostrevo --lpt` with no monitor running: delivers that one capture of the port now,
    // on the calling thread.
    DeliveryResult deliverNow(const QString &port, const QByteArray &name);
    // `ostrevo --lpt` asks the running monitor through its channel: "ok" when it serves
    // the port (its directory is looked through again), else why not.
    QByteArray portRequest(const QString &port);

    // Retry waits, shortened by tests.
    void setRetryWaits(int firstMs, int maxMs);

private:
    struct Candidate {
        enum State { Settling, Ready, Taken, Handled };
        State state = Settling;
        quint64 arrival = 0;
        bool movedIn = false;
        // No writer is known to hold it: closed for writing, renamed in, or found by a
        // look through the directory (which cannot know). Asked where no lease tells.
        bool closed = true;
        qint64 lastChange = 0; // steady ms of the last write seen
        qint64 size = -1;
        qint64 mtimeNs = -1;
        qint64 lookAt = 0;     // steady ms when it is looked at again
        quint64 inode = 0;     // Handled: the file delivery could not remove
    };
    struct Port {
        PortTarget target;
        int dirFd = -1;
        int watch = -1;
        bool network = false;
        bool rescan = true;
        bool missingJournaled = false;
        QHash<QByteArray, Candidate> files;
        qint64 blockedUntil = 0;
        int backoffMs = 0;
        QString lastLater;
    };

    QStringList waiting() override;
    Step processOne(const QString &key) override;

    QString nextId();
    CaptureDelivery delivery();
    void journalProblem(const QString &directory, const QString &file, const QString &detail, bool retry = false);
    void settle(int index, const DeliveryResult &result, const QByteArray &name);
    void cleanLeftovers(const Port &port);

    // --- the watch thread (PortWatch.cpp) ---
    void watch();
    void wakeWatch();
    void attach(int index, qint64 now);
    void detach(Port &port);
    void readEvents(qint64 now);
    void event(Port &port, const QByteArray &name, uint32_t mask, qint64 now);
    void rescan(Port &port, qint64 now);
    bool look(Port &port, const QByteArray &name, Candidate &file, qint64 now);
    int nextWakeMs(qint64 now) const;

    const QString m_programDir;
    const QString m_stagingDir;
    DeliveryServices m_services;

    mutable std::mutex m_mutex;
    Settings m_settings;   // guarded by m_mutex
    QList<Port> m_ports;   // guarded by m_mutex
    quint64 m_arrivals = 0; // guarded by m_mutex
    int m_retryFirstMs = 2000;
    int m_retryMaxMs = 60000;
    bool m_configured = false;

    std::atomic<quint64> m_serial{0};
    QString m_idPrefix;

    int m_inotify = -1;
    std::atomic_int m_wakeFd{-1}; // woken from the worker and the channel's thread
    std::thread m_watchThread;
    std::atomic_bool m_watchStop{false};
};

} // namespace ostrevo
