#include "preview/FormPreview.h"

#include "devices/DirectPdfDocument.h"
#include "devices/DuplexRequest.h"
#include "devices/PrinterCanvas.h"
#include "devices/RealisedFontCache.h"
#include "devices/TAsBarcode.h"
#include "forms/FormCanvasDrawer.h"
#include "forms/FormJob.h"
#include "forms/FormSheets.h"
#include "forms/TFormB1.h"
#include "preview/PdfJobPreview.h"
#include "jobs/Charsets.h"
#include "jobs/Errors.h"

#include <QFileInfo>

#include <memory>

namespace ostrevo {

namespace {

// The sheets of a form printout as one PDF file: where the printer would begin a new
// document in the other orientation, the file turns the next page. The canvas carries the
// font, pen and brush over, as the printer's does.
class PreviewSheets final : public FormSheets {
public:
    PreviewSheets(const QString &path, const PreviewPrinter &printer, const QString &title)
        : m_path(path), m_printer(printer), m_title(title)
    {
    }

    void startPage(bool landscape) override
    {
        const DeviceMetrics &metrics = landscape ? m_printer.landscapeMetrics : m_printer.metrics;
        if (!m_document) {
            m_document = std::make_unique<DirectPdfDocument>(m_path, metrics, m_title, m_fonts);
            m_documents = 1;
        } else if (landscape != m_landscape) {
            m_document->newPage(metrics);
            ++m_documents;
            m_pagesInDocument = 0;
        } else {
            m_document->newPage();
        }
        m_canvas.setDpiY(metrics.dpiY);
        m_canvas.attach(m_document->canvas());
        m_landscape = landscape;
        m_metrics = metrics;
        ++m_pages;
        ++m_pagesInDocument;
    }
    Canvas &canvas() override { return m_canvas; }
    DeviceMetrics metrics() override { return m_metrics; }

    // As the printer ends its last document: a two-sided one gets the empty page that
    // completes its last sheet.
    void finish(std::uint8_t duplex)
    {
        if (!m_document)
            startPage(false);
        else if (duplex != 0 && m_pagesInDocument % 2 == 1) {
            m_document->newPage();
            ++m_pages;
        }
        m_canvas.detach();
        m_document->finish();
    }
    int pages() const { return m_pages; }
    int documents() const { return m_documents; }

private:
    QString m_path;
    const PreviewPrinter &m_printer;
    QString m_title;
    RealisedFontCache m_fonts;
    PrinterCanvas m_canvas;
    std::unique_ptr<DirectPdfDocument> m_document;
    DeviceMetrics m_metrics;
    bool m_landscape = false;
    int m_pages = 0;
    int m_pagesInDocument = 0;
    int m_documents = 0;
};

// DUPLEX 0 off, 1 on, any other value the printer's own setting.
DuplexRequest RequestOf(std::int32_t duplex)
{
    return duplex == 0 ? DuplexRequest::Off : duplex == 1 ? DuplexRequest::On : DuplexRequest::None;
}

// The job would print or write nothing without its template.
[[noreturn]] void NoTemplate(const JobContext &context, const FormJob &job, const char *what)
{
    throw JobError(QStringLiteral("nie ma wzorca „%1” (Wzorzec w %2 ani w %3): zadanie %4")
                       .arg(Cp852ToUnicode(job.state().params.templateName), context.programDir,
                            context.currentJobDir, QString::fromUtf8(what)));
}

} // namespace

PdfFormPreview RenderPdfFormPreview(const JobContext &context, const QString &jobPath, const QString &pdfPath,
                                    RenderReport &report)
{
    PdfFormPreview preview;
    const bool ground = context.settings->ground;
    FormJob job(context, jobPath, FormBackground{ground, false});
    job.setReport(&report);
    if (!job.prepare())
        NoTemplate(context, job, "nie zapisze pliku PDF");
    const FormJobParams &params = job.state().params;
    PdfJobHeader header;
    header.pdfFile = params.pdfFile;
    header.pdfPath = params.pdfPath;
    header.aMail = params.aMail;
    header.tMail = params.tMail;
    const PdfJobOutput output = ResolvePdfJobOutput(context, header);
    ReportPdfJobHeader(header, output, report);
    preview.templatePath = job.templatePath();
    preview.jobOutput = output.path;
    preview.aMail = params.aMail;
    preview.tMail = params.tMail;
    RealisedFontCache fonts;
    const TAsBarcode barcodeDefaults;
    TFormB1 form(fonts, barcodeDefaults);
    preview.pages = form.PdfFormJob(job, pdfPath);
    return preview;
}

FormPreview RenderFormPreview(const JobContext &context, const QString &jobPath, const PreviewPrinter &printer,
                              const QString &pdfPath, RenderReport &report)
{
    FormPreview preview;
    const bool ground = context.settings->ground;
    const int kartka = context.settings->kartka;
    FormJob job(context, jobPath, FormBackground{ground, true});
    job.setReport(&report);
    if (!job.prepare())
        NoTemplate(context, job, "niczego nie wydrukuje");
    preview.templatePath = job.templatePath();
    preview.duplex = DuplexToApply(RequestOf(job.state().params.duplex), kartka, printer.defaultDuplex);
    PreviewSheets sheets(pdfPath, printer, QFileInfo(jobPath).completeBaseName());
    // The default settings every barcode of a form starts from.
    const TAsBarcode barcodeDefaults;
    FormCanvasDrawer drawer(sheets, barcodeDefaults, ground);
    job.drawPages(drawer);
    sheets.finish(preview.duplex);
    preview.pages = sheets.pages();
    preview.documents = sheets.documents();
    return preview;
}

} // namespace ostrevo
