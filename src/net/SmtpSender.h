#pragma once

#include "handling/Settings.h"
#include "net/CurlSession.h"
#include "handling/LaterOutcomes.h"
#include "handling/QueueWorker.h"
#include "net/MailSpool.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <mutex>

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
class SmtpSender : public QueueWorker {
public:
    SmtpSender(MailSpool &spool, NetTimeouts timeouts);
    ~SmtpSender() override;

    // The mail settings, and the longest one message may take ([Siec] LimitCzasu).
    void setSettings(const MailSettings &mail, int limitSeconds = 600);
    using QueueWorker::stop;
    void stop() { stop(m_timeouts.quitGraceMs); }

    // Told what could not be done (a result file that cannot be written).
    std::function<void(const QString &)> warn;
    // Told of each message's outcome once its result file is written.
    LaterOutcomes *outcomes = nullptr;

private:
    QStringList waiting() override { return m_spool.waiting(); }
    Step processOne(const QString &fileName) override;

    MailSpool &m_spool;
    NetTimeouts m_timeouts;
    std::mutex m_settingsMutex;
    MailSettings m_settings;
};

} // namespace ostrevo
