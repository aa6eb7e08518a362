#include "preview/TextPreview.h"

#include "devices/DirectPdfDocument.h"
#include "devices/RealisedFontCache.h"
#include "jobs/JobFile.h"
#include "textprint/PrintSurface.h"
#include "textprint/TextLineRenderer.h"

namespace ostrevo {

namespace {

class DocumentSurface : public PrintSurface {
public:
    explicit DocumentSurface(DirectPdfDocument &document) : m_document(document) {}
    Canvas &canvas() override { return *m_document.canvas(); }
    void newPage() override
    {
        m_document.newPage();
        ++m_pages;
    }
    bool aborted() const override { return false; }
    int pages() const { return m_pages; }

private:
    DirectPdfDocument &m_document;
    int m_pages = 1;
};

} // namespace

int RenderTextPreview(const QString &jobPath, const TextPreviewSetup &setup, const QString &pdfPath,
                      RenderReport *report)
{
    RealisedFontCache fonts;
    fonts.setDpiY(setup.metrics.dpiY);
    DirectPdfDocument document(pdfPath, setup.metrics, setup.title, fonts);
    DocumentSurface surface(document);
    TextPrintState state;
    // A script left open by an earlier job is no part of this one's preview.
    ScriptMemory memory;
    TextLineRenderer renderer(surface, setup.symbols, state, memory);
    renderer.setReport(report);
    renderer.invoiceCode = setup.invoiceCode;
    renderer.startJob({setup.metrics.width, setup.metrics.height, setup.metrics.dpiX, setup.metrics.dpiY});
    LineReader reader(jobPath);
    renderer.renderLines(reader, {});
    if (surface.pages() % 2 == 1 && setup.duplex != 0)
        surface.newPage();
    document.finish();
    return surface.pages();
}

} // namespace ostrevo
