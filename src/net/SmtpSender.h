#pragma once

#include "handling/Settings.h"
#include "net/CurlSession.h"
#include "handling/LaterOutcomes.h"
#include "net/MailSpool.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace ostrevo {

// One conversation with the SMTP server of [Mail]: AUTH LOGIN when a user is set,
// STARTTLS when the server offers it, implicit TLS on port 465, certificates verified.
// Returns the result status: "OK", the server's reply code of the step that failed, the
// socket error number, or the library's error text when neither exists. `cancelled`
// becomes true when the program quits in the middle.
QByteArray SendSmtpMail(const MailSettings &mail, const SpooledMail &message, const NetTimeouts &timeouts,
                        const std::function<bool()> &stop, bool &cancelled);

// Sends the spooled messages beside the job thread, one at a time in spool order, and
// writes each one's result file; a message leaves the spool only once its result is
// written. Messages still waiting when the program quits (also the one being sent) go
// out at the next start.
class SmtpSender {
public:
    SmtpSender(MailSpool &spool, NetTimeouts timeouts);
    ~SmtpSender();
    SmtpSender(const SmtpSender &) = delete;
    SmtpSender &operator=(const SmtpSender &) = delete;

    // The mail settings, and the longest one message may take ([Siec] LimitCzasu).
    void setSettings(const MailSettings &mail, int limitSeconds = 600);
    // Starts the thread (idempotent): what the spool holds goes out.
    void start();
    // A message was added to the spool.
    void wake();
    // Waits until the spool is empty; false on time-out.
    bool waitUntilIdle(int timeoutMs);
    // Ends the thread. No message starts any more; the one being sent has `graceMs` to
    // finish, as a job has when the program quits, and is given up after it (it stays in
    // the spool, unless the server had all of it).
    void stop(int graceMs);
    void stop() { stop(m_timeouts.quitGraceMs); }

    // Told what could not be done (a result file that cannot be written).
    std::function<void(const QString &)> warn;
    // Told of each message's outcome once its result file is written.
    LaterOutcomes *outcomes = nullptr;

private:
    void run();
    bool sendOne(const QString &fileName);

    MailSpool &m_spool;
    NetTimeouts m_timeouts;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    MailSettings m_settings;
    quint64 m_wakes = 0;
    bool m_busy = false;
    std::atomic_bool m_stop{false};
    std::atomic<qint64> m_giveUpAt{0}; // steady milliseconds; 0 = not yet
    std::thread m_thread;
};

} // namespace ostrevo
