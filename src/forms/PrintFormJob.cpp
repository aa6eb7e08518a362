#include "forms/PrintFormJob.h"

#include "devices/DuplexRequest.h"
#include "devices/PrintSession.h"
#include "devices/TPrinter.h"
#include "forms/FormCanvasDrawer.h"
#include "forms/FormJob.h"
#include "forms/PrinterSheets.h"
#include "jobs/Charsets.h"
#include "jobs/Errors.h"

#include <QFileInfo>

#include <algorithm>

namespace ostrevo {

namespace {

QString MessageOf(const std::exception &error)
{
    if (const auto *jobError = dynamic_cast<const JobError *>(&error))
        return jobError->message();
    return QString::fromLocal8Bit(error.what());
}

// DUPLEX 0 off, 1 on, any other value the printer's own setting.
DuplexRequest RequestOf(std::int32_t duplex)
{
    return duplex == 0 ? DuplexRequest::Off : duplex == 1 ? DuplexRequest::On : DuplexRequest::None;
}

} // namespace

FormPrinter::FormPrinter(TPrinter &printer, const TAsBarcode &barcodeDefaults)
    : m_printer(printer), m_barcodeDefaults(barcodeDefaults)
{
}

JobResult FormPrinter::PrintFormJob(const JobContext &context, const QString &textPath)
{
    const bool ground = context.settings->ground;
    const int kartka = context.settings->kartka;
    FormJob job(context, textPath, FormBackground{ground, true});
    if (!job.prepare())
        return JobResult::nothingDone(QStringLiteral("brak wzorca %1: nic nie wydrukowano")
                                          .arg(Cp852ToUnicode(job.state().params.templateName)));
    const FormJobParams &params = job.state().params;

    QString failure;
    bool outputUnavailable = false;
    bool delivered = false;
    int pages = 0;
    QStringList files;
    PrintSession session(m_printer);
    try {
        session.choose(context.currentPrinterName);
        // No copies at all is not what anyone sending a form to the printer meant.
        m_printer.setCopies(std::max<int>(1, params.copies));
        m_printer.setDocumentName(QFileInfo(textPath).completeBaseName());
        // A document on its way to the printer is not taken back: a quit after that point
        // must not keep the job to be printed again at the next start.
        PrinterSheets sheets(m_printer, DuplexToApply(RequestOf(params.duplex), kartka, session.driverDuplex()), [&] {
            context.committed(std::nullopt);
            delivered = true;
        });
        FormCanvasDrawer drawer(sheets, m_barcodeDefaults, ground);
        try {
            pages = job.drawPages(drawer);
            sheets.finish();
        } catch (...) {
            files = sheets.deliveredFiles();
            try {
                sheets.abort();
            } catch (const std::exception &) {
                // The document is gone either way; the first failure is the one to report.
            }
            throw;
        }
        files = sheets.deliveredFiles();
    } catch (const std::exception &error) {
        failure = QStringLiteral("Wydruk formularza przerwany: %1").arg(MessageOf(error));
        outputUnavailable = dynamic_cast<const OutputUnavailable *>(&error) != nullptr;
    }
    const QString notRestored = session.restore();
    if (!failure.isEmpty()) {
        // Performed again later only when nothing of it has been printed yet.
        if (outputUnavailable && !delivered)
            return JobResult::retryLater(failure);
        if (!files.isEmpty())
            failure += QStringLiteral("; wydrukowano już: %1").arg(files.join(QStringLiteral(", ")));
        return JobResult::failed(failure);
    }
    QString detail = QStringLiteral("stron: %1").arg(pages);
    if (!files.isEmpty())
        detail += QStringLiteral(", plik: %1").arg(files.join(QStringLiteral("; ")));
    if (!notRestored.isEmpty())
        detail += QStringLiteral("; ustawienia drukarki nie przywrócone: %1").arg(notRestored);
    // A page range past the form's last page prints nothing, as the legacy program does.
    JobResult result = pages == 0 ? JobResult::nothingDone(
                                        QStringLiteral("żadna strona formularza nie mieści się w zakresie stron zadania; ")
                                        + detail)
                                  : JobResult::done(detail);
    result.outputs = files;
    return result;
}

void RegisterFormPrintHandler(JobHandlers &handlers, FormPrinter &printer)
{
    handlers.set(jkPit, [&printer](const JobContext &context, const QString &textPath) {
        return printer.PrintFormJob(context, textPath);
    });
}

} // namespace ostrevo
