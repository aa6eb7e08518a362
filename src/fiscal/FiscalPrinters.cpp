#include "fiscal/FiscalPrinters.h"

#include "fiscal/ElzabPath.h"
#include "fiscal/FiscalText.h"
#include "fiscal/ThermalPath.h"
#include "handling/ResultFile.h"
#include "jobs/JobFile.h"

#include <QFileInfo>

namespace ostrevo {

FiscalPrinters::FiscalPrinters(QString programDir, std::function<QDate()> today)
    : m_programDir(std::move(programDir)), m_today(std::move(today))
{
}

QByteArray FiscalResultStatus(int monitorCode)
{
    if (monitorCode == 0)
        return QByteArrayLiteral("OK");
    // Unmapped, so that no driver's code can ever read the same.
    if (monitorCode == fcStateUnknown)
        return QByteArray::number(monitorCode);
    return QByteArray::number(MapFiscalCode(monitorCode));
}

QByteArray FiscalResultStatus(const FiscalOutcome &outcome)
{
    if (!outcome.fromDriver)
        return FiscalResultStatus(outcome.code);
    // 109 is the drivers' "done, with a remark": a receipt cancelled because of it is not.
    if (outcome.code == 0 || (outcome.code == 109 && !outcome.receiptCancelled))
        return QByteArrayLiteral("OK");
    return QByteArray::number(MapDriverCode(outcome.code));
}

FiscalOutcome FiscalPrinters::RunFiscalJob(FiscalJob &job)
{
    FiscalOutcome outcome;
    const int function = job.function;
    if (function == 0 || function > 14) {
        outcome.set(fcUnknownFunction, QStringLiteral("nieznana FUNCTION %1").arg(function));
        return outcome;
    }
    if (const int missing = MissingDataCode(function); missing != 0 && !job.dataFound) {
        outcome.set(missing, QStringLiteral("FUNCTION %1 bez <DANE>").arg(function));
        return outcome;
    }
    if (function == 13 || function == 14)
        return outcome;
    if (function == 1) {
        if (const int code = ParseReceiptData(job.dataLines, job.receipt)) {
            outcome.set(code, QStringLiteral("wiersz podsumowania ma mniej niż 5 pól"));
            return outcome;
        }
    }
    const FiscalFamily family = job.family();
    if (family == ffNone) {
        outcome.set(fcUnknownModel, QStringLiteral("nieznana drukarka DRK=\"%1\"").arg(QString::fromLatin1(job.modelName)));
        return outcome;
    }
    const bool available = function == 7 || function == 8 || function == 9 ? false
                           : function == 6                                 ? family == ffElzab
                                                                           : true;
    if (!available) {
        outcome.set(fcNotAvailable, QStringLiteral("FUNCTION %1 nie jest dostępna dla DRK=%2")
                                        .arg(function).arg(QString::fromLatin1(job.modelName)));
        return outcome;
    }
    const FiscalEnvironment environment{m_programDir, &m_vatTable, m_today()};
    return family == ffElzab ? RunElzabOperation(job, environment) : RunThermalOperation(job, environment);
}

JobResult FiscalPrinters::PerformFiscalJob(const JobContext &context, const QString &textPath)
{
    const QString resultName = QFileInfo(textPath).fileName();
    FiscalOutcome outcome;
    try {
        LineReader reader(context.jobText, textPath);
        FiscalJob job = ReadFiscalJob(reader);
        // From here on the printer may print: the job is never performed again, and a
        // stop in the middle tells the legacy program to check the printer.
        context.committed(ResultLine{context.currentJobDir, resultName, FiscalResultStatus(fcStateUnknown)});
        outcome = RunFiscalJob(job);
    } catch (...) {
        // Whatever was reached so far; a failure is never reported as "OK".
        context.writeResult({context.currentJobDir, resultName,
                             outcome.code == 0 ? QByteArrayLiteral("NOT") : FiscalResultStatus(outcome)});
        throw;
    }
    const QByteArray status = FiscalResultStatus(outcome);
    context.writeResult({context.currentJobDir, resultName, status});
    const QString detail = QStringLiteral("error=%1").arg(QString::fromLatin1(status));
    if (status == "OK")
        return JobResult::done(outcome.reason.isEmpty() ? detail : detail + QStringLiteral(" (") + outcome.reason + u')');
    return JobResult::failed(detail + QStringLiteral(": ") + outcome.reason);
}

void RegisterFiscalHandler(JobHandlers &handlers, FiscalPrinters &printers)
{
    handlers.set(jkDf, [&printers](const JobContext &context, const QString &textPath) {
        return printers.PerformFiscalJob(context, textPath);
    });
}

} // namespace ostrevo
