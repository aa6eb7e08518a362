// Printer-port streams: any bytes are read in step to the end, every page can be drawn,
// and nothing lands off the paper.
#include "FuzzFile.h"
#include "devices/RecordingCanvas.h"
#include "escp/EscpCharacters.h"
#include "escp/EscpInterpreter.h"
#include "escp/EscpRenderer.h"
#include "escp/PrintStream.h"
#include "jobs/Errors.h"

using namespace ostrevo;

namespace {

void CheckPage(const EscpPage &page)
{
    const qint64 right = page.width + 24 * EscpInch; // a double-width character at the end of a line
    for (const EscpRun &run : page.runs)
        if (run.x < 0 || run.x > right || run.baseline < 0 || run.baseline > page.height + EscpInch || run.text.isEmpty())
            std::abort();
    for (const EscpFrameCell &frame : page.frames)
        if (frame.x < 0 || frame.x > right || frame.top < 0 || frame.top > page.height)
            std::abort();
    for (const EscpImage &image : page.images)
        if (image.dots.isNull() || image.x < 0 || image.top < 0 || image.top > page.height)
            std::abort();
    RecordingCanvas canvas;
    DrawEscpPage(canvas, page, 600);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray stream = fuzz::Bytes(data + 1, size - 1);
    DetectPrintLanguage(stream);
    GuessPolishTable(stream);
    const EscpTable tables[] = {EscpTable::Cp852, EscpTable::Mazovia, EscpTable::Cp437, EscpTable::Win1250};
    EscpInterpreter interpreter({tables[data[0] % 4], qint64(data[0] >> 2) * EscpInch / 6},
                                [](EscpPage &&page) { CheckPage(page); });
    try {
        interpreter.run(stream);
    } catch (const JobError &) {
        // too many pages: refused, as it should be
    }
    return 0;
}
