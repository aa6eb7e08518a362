#pragma once

#include "forms/FormSheets.h"

#include <QStringList>

#include <cstdint>
#include <functional>

namespace ostrevo {

class TPrinter;

// A form's sheets on a printer: the document begins at the first page drawn, in that
// page's orientation, and a page in the other orientation ends the document and begins
// a new one, since a printer turns whole documents only.
class PrinterSheets final : public FormSheets {
public:
    // `duplex` is the two-sided mode set for every document (0 one-sided). `delivered`
    // is called right before each document is handed to the printer, which will not give
    // it back; it may throw to keep the document from going.
    PrinterSheets(TPrinter &printer, std::uint8_t duplex, std::function<void()> delivered = {});

    void startPage(bool landscape) override;
    Canvas &canvas() override;
    DeviceMetrics metrics() override { return m_metrics; }

    // Ends the document in progress; a two-sided one with an odd number of pages gets
    // an empty last page, so that the last sheet is complete.
    void finish();
    // Drops the document in progress, if any.
    void abort();

    int documents() const { return m_documents; }
    // The files the ended documents became, on a printer that makes files.
    const QStringList &deliveredFiles() const { return m_delivered; }

private:
    void beginDocument(bool landscape);
    void endDocument();

    TPrinter &m_printer;
    std::uint8_t m_duplex;
    std::function<void()> m_deliveredCall;
    bool m_landscape = false;
    int m_documents = 0;
    DeviceMetrics m_metrics;
    QStringList m_delivered;
};

} // namespace ostrevo
