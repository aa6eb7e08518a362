#pragma once

#include "fiscal/FiscalJob.h"
#include "fiscal/FiscalOperation.h"
#include "fiscal/VatTable.h"
#include "handling/JobHandlers.h"

#include <QDate>
#include <QString>

#include <functional>

namespace ostrevo {

// Performs <DF> jobs on fiscal printers. One instance lives as long as the program and
// keeps what outlasts a job: the VAT table of the last receipt. Nothing else stays open
// between jobs: each operation loads its driver library and unloads it again.
class FiscalPrinters {
public:
    // `programDir` holds PTU.txt and the driver libraries; `today` is the clock of the
    // daily report.
    explicit FiscalPrinters(QString programDir, std::function<QDate()> today = &QDate::currentDate);

    // Performs the job and writes its result file, "error=OK" or "error=" + the reported
    // number, into the Errors work directory of the job's directory under the job text's
    // name, whatever happened. An exception (the job text cannot be read, ...) still
    // leaves a result file, then goes on to the monitor.
    JobResult PerformFiscalJob(const JobContext &context, const QString &textPath);

    // The job's operation, without the result file: FiscalResultCode and why.
    FiscalOutcome RunFiscalJob(FiscalJob &job);

    const VatTable &vatTable() const { return m_vatTable; }

private:
    QString m_programDir;
    std::function<QDate()> m_today;
    VatTable m_vatTable;
};

// The status of the result file for an operation's outcome: "OK" for 0, and for a
// driver's 109 unless the receipt it came from was cancelled; else the reported number.
QByteArray FiscalResultStatus(const FiscalOutcome &outcome);
// The same for one of the monitor's own codes.
QByteArray FiscalResultStatus(int monitorCode);

// Makes `printers` the handler of <DF> jobs (jkDf).
void RegisterFiscalHandler(JobHandlers &handlers, FiscalPrinters &printers);

} // namespace ostrevo
