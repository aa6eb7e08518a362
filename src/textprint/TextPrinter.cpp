#include "textprint/TextPrinter.h"

#include "devices/PrintSession.h"
#include "devices/TPrinter.h"
#include "jobs/Errors.h"
#include "jobs/JobFile.h"
#include "ksef/KsefEarlierInvoice.h"
#include "textprint/DuplexScan.h"
#include "textprint/PrintSurface.h"
#include "textprint/TextLineRenderer.h"

#include <QFileInfo>

namespace ostrevo {

namespace {

class PrinterSurface : public PrintSurface {
public:
    explicit PrinterSurface(TPrinter &printer) : m_printer(printer) {}
    Canvas &canvas() override { return m_printer.canvas(); }
    void newPage() override { m_printer.newPage(); }
    bool aborted() const override { return m_printer.aborted(); }

private:
    TPrinter &m_printer;
};

QString MessageOf(const std::exception &error)
{
    if (const auto *jobError = dynamic_cast<const JobError *>(&error))
        return jobError->message();
    return QString::fromLocal8Bit(error.what());
}

} // namespace

TextPrinter::TextPrinter(SymbolTable &symbols, TPrinter &printer) : m_symbols(symbols), m_printer(printer) {}

TextPrinter::TextPrinter(SymbolTable &symbols) : TextPrinter(symbols, Printer()) {}

JobResult TextPrinter::PrintTextJob(const JobContext &context, const QString &textPath)
{
    PrintSession session(m_printer);
    session.choose(context.currentPrinterName);
    const DuplexRequest request = ScanDuplexRequest(textPath, context.jobText);
    LineReader reader(context.jobText, textPath);
    // Laid out for the printer that prints it, also when the directory's printer is gone
    // and the default printer stands in.
    const PageMetrics metrics{m_printer.pageWidth(), m_printer.pageHeight(), m_printer.dpiX(), m_printer.dpiY()};

    PrinterSurface surface(m_printer);
    TextLineRenderer renderer(surface, m_symbols.PrinterSymbols, m_state, m_memory);
    renderer.startJob(metrics);
    renderer.invoiceCode = EarlierInvoiceCodes(context);
    const int kartka = context.settings->kartka;

    QString failure;
    bool outputUnavailable = false;
    int pages = 0;
    bool begun = false;
    try {
        const std::uint8_t applied = DuplexToApply(request, kartka, session.driverDuplex());
        m_printer.SetDuplex(applied);
        m_printer.setDocumentName(QFileInfo(textPath).completeBaseName());
        m_printer.beginDoc();
        begun = true;
        // The job's own font measures a margin tag on its first line, not the last job's.
        if (!renderer.renderLines(reader, context.quitRequested))
            failure = QStringLiteral("Wydruk przerwany: program kończy pracę");
        if (failure.isEmpty()) {
            // A two-sided job fills whole sheets.
            if (m_printer.pageNumber() % 2 == 1 && applied != 0)
                m_printer.newPage();
            pages = m_printer.pageNumber();
            if (!m_printer.aborted())
                m_printer.endDoc();
        }
    } catch (const std::exception &error) {
        failure = QStringLiteral("Wydruk przerwany: %1").arg(MessageOf(error));
        outputUnavailable = dynamic_cast<const OutputUnavailable *>(&error) != nullptr;
        if (!begun) {
            // Nothing to abort yet: the real reason goes to the caller, the printer set back first.
            session.restore();
            throw;
        }
    }
    if (!failure.isEmpty()) {
        try {
            if (m_printer.printing())
                m_printer.abort();
        } catch (const std::exception &) {
            // The document is gone either way; the first failure is the one to report.
        }
    }
    const QString notRestored = session.restore();
    if (!failure.isEmpty())
        return outputUnavailable ? JobResult::retryLater(failure) : JobResult::failed(failure);
    QString detail = QStringLiteral("stron: %1").arg(pages);
    const QString file = m_printer.deliveredFile();
    if (!file.isEmpty())
        detail += QStringLiteral(", plik: %1").arg(file);
    if (!notRestored.isEmpty())
        detail += QStringLiteral("; ustawienia drukarki nie przywrócone: %1").arg(notRestored);
    return JobResult::done(detail).withOutput(file);
}

void RegisterTextPrintHandler(JobHandlers &handlers, TextPrinter &printer)
{
    handlers.set(jkText, [&printer](const JobContext &context, const QString &textPath) {
        return printer.PrintTextJob(context, textPath);
    });
}

} // namespace ostrevo
