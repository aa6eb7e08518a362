#include "forms/PrinterSheets.h"

#include "devices/TPrinter.h"

namespace ostrevo {

PrinterSheets::PrinterSheets(TPrinter &printer, std::uint8_t duplex, std::function<void()> delivered)
    : m_printer(printer), m_duplex(duplex), m_deliveredCall(std::move(delivered))
{
}

Canvas &PrinterSheets::canvas()
{
    return m_printer.canvas();
}

void PrinterSheets::beginDocument(bool landscape)
{
    m_printer.setOrientation(landscape ? 1 : 0);
    m_printer.SetDuplex(m_duplex);
    m_printer.beginDoc();
    m_landscape = landscape;
    ++m_documents;
    m_metrics = DeviceMetrics{m_printer.pageWidth(), m_printer.pageHeight(), m_printer.dpiX(), m_printer.dpiY(),
                              m_printer.physicalSizeMm(), {}};
}

void PrinterSheets::endDocument()
{
    // Told before the document goes: the record that it went must be on disk first.
    if (m_deliveredCall)
        m_deliveredCall();
    m_printer.endDoc();
    if (const QString file = m_printer.deliveredFile(); !file.isEmpty())
        m_delivered.append(file);
}

void PrinterSheets::startPage(bool landscape)
{
    if (!m_printer.printing()) {
        beginDocument(landscape);
    } else if (landscape != m_landscape) {
        endDocument();
        beginDocument(landscape);
    } else {
        m_printer.newPage();
    }
}

void PrinterSheets::finish()
{
    if (!m_printer.printing() || m_printer.aborted())
        return;
    // Counted in the last document only: an earlier one ended its own sheets.
    if (m_duplex != 0 && m_printer.pageNumber() % 2 == 1)
        m_printer.newPage();
    endDocument();
}

void PrinterSheets::abort()
{
    if (m_printer.printing())
        m_printer.abort();
}

} // namespace ostrevo
