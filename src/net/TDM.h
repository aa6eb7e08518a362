#pragma once

#include "handling/JobHandlers.h"
#include "handling/MailPdf.h"
#include "net/CurlSession.h"
#include "net/MailJob.h"
#include "net/MailSpool.h"
#include "net/NetJobParams.h"
#include "net/SmtpSender.h"
#include "net/rates/RateJob.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace ostrevo {

struct MailContent;

// The data module of the network jobs: FTP upload, mail, download, exchange rates. Lives
// as long as the program; holds what the legacy program expects to survive from job to
// job (NetJobParams, the mail job, the rate job's values and CurrencyCodes), the mail spool `poczta` in the program directory and
// the SMTP sender that works through it beside the job thread.
class TDM {
public:
    explicit TDM(QString programDir, NetTimeouts timeouts = {});
    ~TDM();
    TDM(const TDM &) = delete;
    TDM &operator=(const TDM &) = delete;

    // The settings were read at start: the sender starts on what the spool holds.
    void afterSettingsRead(const Settings &settings);
    // jkFtp, jkMail, jkDownload, jkWaluta.
    void registerHandlers(JobHandlers &handlers);

    JobResult FtpJob(const JobContext &context, const QString &textPath);
    JobResult MailJobHandler(const JobContext &context, const QString &textPath);
    JobResult DownloadJob(const JobContext &context, const QString &textPath);

    // Fetches `address` into the job directory's Download under `name`, replacing a file
    // of that name only with a complete new one. 0 on success, 1 on any failure (nothing
    // new is left then). Throws IoError when Download cannot be created. `httpStatus`, when
    // given, receives the status of the server's answer (0 when none came).
    int HttpDownload(const JobContext &context, const QByteArray &address, const QByteArray &name,
                     long *httpStatus = nullptr);

    // The PDF jobs' hand-over (see MailPdfHandOver).
    void MailPdf(const JobContext &context, const QString &jobPath, const QString &address, const QString &pdfPath,
                 const QString &subject);
    MailPdfHandOver mailPdfHandOver();

    // Writes the result file `name` in the job directory's Errors; after an FTP job also
    // deletes FTP/SRC_FILE (the SRC_FILE last read), whether the writing worked or not.
    void WriteNetResult(const JobContext &context, const QString &name, const QByteArray &status,
                        bool deleteFtpSource);

    // The printer ports' hand-over to the own SMTP route: the message goes into the spool
    // whole (any thread); the sender takes it once woken. Throws IoError.
    QString spoolMail(const SpooledMail &mail);
    void wakeMailSender();

    // Waits until every spooled message has its result (the end of --once); false when
    // some are still waiting after the time.
    bool waitForMail(int timeoutMs);

    TRateJob &rateJob() { return m_rates; }
    MailSpool &spool() { return m_spool; }
    // Where the SMTP sender tells each message's outcome.
    LaterOutcomes &laterOutcomes() { return m_outcomes; }

private:
    NetTimeouts timeoutsOf(const JobContext &context) const;
    JobResult FtpUpload(const JobContext &context);
    JobResult FtpDownload(const JobContext &context);
    // Sends one message by the route of [Mail] Poczta: 0 system mail now, 1 the SMTP
    // spool. Returns the job's result.
    JobResult sendSystemMail(const JobContext &context, const MailContent &content);
    JobResult queueSmtpMail(const JobContext &context, const MailContent &content);

    QString m_programDir;
    NetTimeouts m_timeouts;
    NetJobParams m_params;
    MailJob m_mail;
    MailSpool m_spool;
    LaterOutcomes m_outcomes;
    SmtpSender m_sender;
    TRateJob m_rates;
};

} // namespace ostrevo
