#pragma once

#include "devices/CupsQueues.h"
#include "devices/DirectPdfDocument.h"
#include "devices/PrintDevice.h"
#include "devices/RealisedFontCache.h"

#include <memory>
#include <optional>

namespace ostrevo {

// A CUPS queue. A document is drawn by our own PDF writer into a temporary file and
// submitted as one job at its end, with the device mode as the job's options; an aborted
// document is never submitted.
class CupsPrinter final : public PrintDevice {
public:
    // Drawing resolution; the PDF is vectors, the queue's filters rasterise it.
    static constexpr int Dpi = 600;

    explicit CupsPrinter(const QString &queue);

    QString name() const override { return m_queue; }
    bool loadDefaults(DeviceMode &mode) override;
    DeviceMetrics metrics(const DeviceMode &mode) override;
    Canvas *beginDocument(const DeviceMode &mode, const QString &title) override;
    void newPage() override;
    void endDocument() override;
    void abortDocument() override;

private:
    QString m_queue;
    std::optional<CupsQueueSetup> m_setup;
    std::unique_ptr<DirectPdfDocument> m_document;
    // Fonts outlive a document: the next printout uses the same ones.
    RealisedFontCache m_fonts;
    DeviceMode m_jobMode;
    QString m_title;
};

} // namespace ostrevo
