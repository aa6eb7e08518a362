#pragma once

// A printer that stops part-way through a document, as one that jams or whose queue fills
// up does: plugged into a TPrinter of the test's own (TPrinter::addDevice), it takes the
// document and fails when it is asked for the page after its last good one.

#include "devices/PrintDevice.h"
#include "devices/PrinterError.h"
#include "devices/RecordingCanvas.h"

#include <memory>

namespace ostrevo::test {

class FailingPrinter final : public PrintDevice {
public:
    // What the printer was asked to do, for the test to look at afterwards.
    struct Log {
        int begun = 0;
        int pages = 0; // pages finished
        int ended = 0;
        int aborted = 0;
    };

    FailingPrinter(int goodPages, std::shared_ptr<Log> log) : m_goodPages(goodPages), m_log(std::move(log)) {}

    QString name() const override { return QStringLiteral("Awaria"); }
    bool loadDefaults(DeviceMode &mode) override
    {
        mode = DeviceMode{};
        return true;
    }
    DeviceMetrics metrics(const DeviceMode &) override
    {
        DeviceMetrics m;
        m.width = 4800;
        m.height = 6800;
        m.dpiX = m.dpiY = 600;
        m.physicalMm = QSizeF(210, 297);
        return m;
    }
    Canvas *beginDocument(const DeviceMode &, const QString &) override
    {
        ++m_log->begun;
        m_canvas = std::make_unique<RecordingCanvas>();
        return m_canvas.get();
    }
    void newPage() override
    {
        if (m_log->pages >= m_goodPages)
            throw PrinterError(QStringLiteral("drukarka przestała przyjmować strony"));
        ++m_log->pages;
    }
    void endDocument() override { ++m_log->ended; }
    void abortDocument() override { ++m_log->aborted; }

private:
    int m_goodPages;
    std::shared_ptr<Log> m_log;
    std::unique_ptr<RecordingCanvas> m_canvas;
};

} // namespace ostrevo::test
