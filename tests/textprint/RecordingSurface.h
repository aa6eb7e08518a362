#pragma once

#include "devices/RecordingCanvas.h"
#include "textprint/PrintSurface.h"
#include "textprint/SymbolTable.h"
#include "textprint/TextLineRenderer.h"
#include "textprint/TextPrintState.h"

#include <QList>

namespace ostrevo::test {

// A document on the recording canvas: pages are counted, nothing is drawn.
class RecordingSurface : public PrintSurface {
public:
    Canvas &canvas() override { return recorder; }
    void newPage() override { recorder.newPage(); }
    bool aborted() const override { return false; }

    RecordingCanvas recorder;
};

// One renderer with the default symbols on a 600 dpi page 4800 x 6800 wide, as the
// built-in printer has it; lines are rendered the way a job renders them.
struct RenderBench {
    explicit RenderBench(PageMetrics metrics = {4800, 6800, 600, 600})
    {
        renderer.startJob(metrics);
        renderer.realiseFont();
    }

    void print(const QList<QByteArray> &lines)
    {
        for (qsizetype i = 0; i < lines.size(); ++i) {
            renderer.renderLine(lines[i], i + 1 < lines.size());
            renderer.nextLine();
        }
    }

    const QVector<RecordingCanvas::Text> &texts() const { return surface.recorder.texts; }

    SymbolTable symbols;
    TextPrintState state;
    ScriptMemory memory;
    RecordingSurface surface;
    TextLineRenderer renderer{surface, symbols.PrinterSymbols, state, memory};
};

} // namespace ostrevo::test
