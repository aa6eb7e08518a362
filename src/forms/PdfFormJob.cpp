#include "forms/PdfFormJob.h"

#include "forms/FormJob.h"
#include "forms/TFormB1.h"
#include "handling/PdfOutput.h"
#include "jobs/Charsets.h"

namespace ostrevo {

PdfFormJobs::PdfFormJobs(const TAsBarcode &barcodeDefaults, MailPdfHandOver mailPdf)
    : m_barcodeDefaults(barcodeDefaults), m_mailPdf(std::move(mailPdf))
{
}

JobResult PdfFormJobs::PdfFormJob(const JobContext &context, const QString &textPath)
{
    const bool ground = context.settings->ground;
    FormJob job(context, textPath, FormBackground{ground, false});
    // The office waits for a file: that none can come is a failure, not a quiet end.
    if (!job.prepare())
        return JobResult::failed(QStringLiteral("brak wzorca %1: plik PDF nie zapisany")
                                     .arg(Cp852ToUnicode(job.state().params.templateName)));
    const FormJobParams &params = job.state().params;
    const QString pdfPath = PreparePdfOutput(context, params.pdfFile, params.pdfPath);
    int pages = 0;
    {
        TFormB1 form(m_fonts, m_barcodeDefaults);
        pages = form.PdfFormJob(job, pdfPath);
    }
    const QString detail = QStringLiteral("%1, stron: %2").arg(pdfPath).arg(pages) +
                           HandOverPdf(m_mailPdf, context, textPath, pdfPath, params.aMail, params.tMail);
    return JobResult::done(detail).withOutput(pdfPath);
}

void RegisterPdfFormHandler(JobHandlers &handlers, PdfFormJobs &jobs)
{
    handlers.set(jkPitPdf, [&jobs](const JobContext &context, const QString &textPath) {
        return jobs.PdfFormJob(context, textPath);
    });
}

} // namespace ostrevo
