#include "preview/PdfJobPreview.h"

#include "devices/RealisedFontCache.h"
#include "handling/RenderReport.h"
#include "jobs/Charsets.h"
#include "jobs/JobFile.h"
#include "ksef/KsefEarlierInvoice.h"
#include "textprint/TFormA1.h"

#include <QFileInfo>

namespace ostrevo {

void ReportPdfJobHeader(const PdfJobHeader &header, const PdfJobOutput &output, RenderReport &report)
{
    for (const QByteArray &key : header.otherKeys)
        report.unknownKey(key, QStringLiteral("nagłówku <PDF>"));
    if (header.pdfFile.isEmpty())
        report.add(RenderReport::Other, QStringLiteral("PDF_FILE"),
                   QStringLiteral("brak nazwy pliku (PDF_FILE): zadanie zakończy się błędem i nie zapisze PDF-a"));
    if (!header.aMail.isEmpty() && !header.aMail.contains('@'))
        report.add(RenderReport::Other, QStringLiteral("A_MAIL"),
                   QStringLiteral("adres A_MAIL=%1 nie zawiera „@”: poczta nie zostanie wysłana")
                       .arg(Cp852ToUnicode(header.aMail)));
    // A PDF_PATH given is used as it stands; only the job directory's own PDF folder is
    // created by the job.
    if (output.workDir.isEmpty()) {
        const QString dir = QFileInfo(output.path).absolutePath();
        if (!QFileInfo(dir).isDir())
            report.notFound(QStringLiteral("PDF_PATH"),
                            QStringLiteral("katalog PDF_PATH %1 nie istnieje: zadanie zakończy się błędem").arg(dir));
    }
}

PdfJobPreview RenderPdfJobPreview(const JobContext &context, const QString &jobPath, const QString &pdfPath,
                                  RenderReport &report, const PrinterSymbolTable *site)
{
    PdfJobPreview preview;
    LineReader reader(jobPath);
    preview.header = ReadPdfJobHeader(reader);
    const PdfJobOutput output = ResolvePdfJobOutput(context, preview.header);
    preview.jobOutput = output.path;
    ReportPdfJobHeader(preview.header, output, report);
    RealisedFontCache fonts;
    // A script left open by an earlier job is no part of this one's preview.
    ScriptMemory memory;
    TFormA1 form(fonts, memory, site);
    form.setReport(&report);
    form.invoiceCode = EarlierInvoiceCodes(context);
    preview.pages = form.render(reader, pdfPath, {});
    return preview;
}

} // namespace ostrevo
