#pragma once

#include "handling/JobHandlers.h"
#include "net/CurlSession.h"
#include "net/rates/CurrencyCodes.h"
#include "net/rates/DailyTable.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <functional>
#include <optional>

namespace ostrevo {

struct LatestTable;

// HttpDownload of the data module: fetches `address` into the job directory's Download
// as `name`; 0 or 1, and the status of the server's answer (0 when none came).
using RateDownload = std::function<int(const JobContext &, const QByteArray &address, const QByteArray &name,
                                       long *httpStatus)>;

// The <WALUTA> job: the central bank's average rates (table A) into dBASE tables for the
// legacy program, a yearly table ROK.dbf and a daily table YYYY_d.dbf of the current
// month, each part with its result file ROK.err / YYYY_d.err beside them. The tables come
// from the bank's files (workbook, latest-table page, daily XML files) or from its web
// API, as [Waluty] says; both write the same tables. A table appears only whole: a part
// that fails leaves no table under its name, so the next job builds it again.
//
// Lives as long as the program: ROK and BIEZACE keep the values of an earlier job for a
// job that omits them, as the legacy program relies on; CurrencyCodes is loaded anew for
// every part that needs it.
class TRateJob {
public:
    TRateJob(RateDownload download, NetTimeouts timeouts);

    JobResult WalutaJob(const JobContext &context, const QString &textPath);

    // The date the parts take as today (the current year, the last day of the yearly
    // range); the system's date unless a test sets another.
    std::function<QDate()> today = [] { return QDate::currentDate(); };

    // result of one part: true when it failed
    struct PartOutcome {
        bool failed = false;
        QString why;
        bool interrupted = false;
    };

private:
    PartOutcome yearlyPart(const JobContext &context);
    PartOutcome currentYearPart(const JobContext &context, QString &yearText);
    PartOutcome yearlyFromFiles(const JobContext &context, const QString &tablePath);
    PartOutcome yearlyFromApi(const JobContext &context, const QString &tablePath);
    PartOutcome dailyFromFiles(const JobContext &context, QString &yearText);
    PartOutcome dailyFromApi(const JobContext &context, QString &yearText);
    PartOutcome walkBackByNumbers(const JobContext &context, DbfTable &table, const LatestTable &latest,
                                  const QByteArray &suffix);
    PartOutcome walkBackByWorkdays(const JobContext &context, DbfTable &table, const LatestTable &latest,
                                   const QByteArray &suffix);

    // Downloads into Download; the path of the file, or nothing (the status in `status`).
    std::optional<QString> download(const JobContext &context, const QByteArray &address, const QByteArray &name,
                                    long *status = nullptr);
    // One answer of the API as records; nothing with `outcome` set on a failure, an empty
    // list for 404 when `noneOn404`.
    std::optional<QList<DailyRecord>> apiTables(const JobContext &context, const QByteArray &address, bool noneOn404,
                                                PartOutcome &outcome);
    void loadCurrencyCodes(const JobContext &context);
    const RateSettings &rateSettings(const JobContext &context) const;
    QString tablePath(const QString &fileName) const;

    RateDownload m_download;
    NetTimeouts m_timeouts;

    // The job's values: ROK in 16 bits and BIEZACE in 8, as the legacy program keeps them.
    quint16 ROK = 0;
    quint8 BIEZACE = 0;
    QString DBF_PATH; // the Linux directory of this job's tables and result files
    QList<CurrencyCode> CurrencyCodes;
};

// The one-line result file of a part, "error=OK" or "error=NOT", replacing an earlier
// one. Throws IoError when it cannot be written.
void WriteRateResult(const QString &path, bool failed);

} // namespace ostrevo
