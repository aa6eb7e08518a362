#include "textprint/PdfTextJob.h"

#include "jobs/JobFile.h"
#include "ksef/KsefEarlierInvoice.h"
#include "textprint/TFormA1.h"

namespace ostrevo {

PdfJobHeader ReadPdfJobHeader(LineReader &reader)
{
    PdfJobHeader header;
    while (auto line = reader.next()) {
        if (!HoldsTag(*line, "<PDF>"))
            continue;
        const KeyBlock keys = ReadKeyBlock(reader, *line, true);
        header.pdfFile = keys.value("PDF_FILE");
        header.pdfPath = keys.value("PDF_PATH");
        header.aMail = keys.value("A_MAIL");
        header.tMail = keys.value("T_MAIL");
        for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
            if (it.key() != "PDF_FILE" && it.key() != "PDF_PATH" && it.key() != "A_MAIL" && it.key() != "T_MAIL")
                header.otherKeys.append(it.key());
        }
        break;
    }
    return header;
}

PdfTextJobs::PdfTextJobs(MailPdfHandOver mailPdf, const SymbolTable *site)
    : m_mailPdf(std::move(mailPdf)), m_site(site)
{
}

JobResult PdfTextJobs::PdfTextJob(const JobContext &context, const QString &textPath)
{
    QString pdfPath;
    int pages = 0;
    PdfJobHeader header;
    {
        LineReader reader(context.jobText, textPath);
        header = ReadPdfJobHeader(reader);
        pdfPath = PreparePdfOutput(context, header.pdfFile, header.pdfPath);
        TFormA1 form(m_fonts, m_memory, m_site ? &m_site->PrinterSymbols : nullptr);
        form.invoiceCode = EarlierInvoiceCodes(context);
        pages = form.render(reader, pdfPath, context.quitRequested);
    }
    const QString detail = QStringLiteral("%1, stron: %2").arg(pdfPath).arg(pages) +
                           HandOverPdf(m_mailPdf, context, textPath, pdfPath, header.aMail, header.tMail);
    return JobResult::done(detail).withOutput(pdfPath);
}

void RegisterPdfTextHandler(JobHandlers &handlers, PdfTextJobs &jobs)
{
    handlers.set(jkPdf, [&jobs](const JobContext &context, const QString &textPath) {
        return jobs.PdfTextJob(context, textPath);
    });
}

} // namespace ostrevo
