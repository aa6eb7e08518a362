#pragma once

#include "devices/PrintDevice.h"
#include "textprint/SymbolTable.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace ostrevo {

class RenderReport;

struct TextPreviewSetup {
    PrinterSymbolTable symbols;
    DeviceMetrics metrics;  // of the printer the job would go to
    std::uint8_t duplex = 0; // the two-sided value the job would print with
    QString title;
    // The codes of earlier invoices a "<KSEF:number>" tag draws, as the job would draw them.
    std::function<QByteArray(const QString &ksefNumber)> invoiceCode;
};

// Lays a plain-text printout out exactly as the printer renderer does on a printer of
// these metrics, and writes the pages into the new file `pdfPath` with the drawing path
// of the built-in printer and the CUPS queues. A two-sided job fills whole sheets, as
// printed. Returns the page count; throws on a failure, and leaves a partial file for the
// caller to remove.
int RenderTextPreview(const QString &jobPath, const TextPreviewSetup &setup, const QString &pdfPath,
                      RenderReport *report);

} // namespace ostrevo
