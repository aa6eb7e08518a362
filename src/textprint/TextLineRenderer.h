#pragma once

#include "devices/Canvas.h"
#include "textprint/SymbolTable.h"
#include "textprint/TextPrintState.h"

#include <QByteArray>

#include <functional>

namespace ostrevo {

class LineReader;
class PrintSurface;
class RenderReport;

struct PageMetrics {
    int pageWidth = 0;
    int pageHeight = 0;
    int dpiX = 0;
    int dpiY = 0;
};

// Renders the lines of one plain-text printout: margin tags, control symbols, text in
// Courier New fitted to the column count, frames as lines, and the advance to the next
// line with its page overflow.
class TextLineRenderer {
public:
    TextLineRenderer(PrintSurface &surface, const PrinterSymbolTable &symbols, TextPrintState &state,
                     ScriptMemory &memory);

    // Sets the state up for a new job on a page of these metrics.
    void startJob(const PageMetrics &metrics);
    // Makes the state's font the canvas font, narrowed until the columns fit the page.
    void realiseFont();
    // Draws one line; `moreLines` tells whether the file goes on after it.
    void renderLine(const QByteArray &line, bool moreLines);
    // Moves to the start of the next line, onto a new page when the page is full.
    void nextLine();
    // Renders every line the reader still holds, in the job's own font from the first;
    // false when `quit` gave up between two lines.
    bool renderLines(LineReader &reader, const std::function<bool()> &quit);
    // What a preview wants to know of the job; none (the default) in normal runs.
    void setReport(RenderReport *report) { m_report = report; }

    // KOD I of an invoice sent earlier, by its KSeF number, for a "<KSEF:number>" tag: the
    // address its QR code holds; throws JobError when there is none. Unset, tags are text.
    std::function<QByteArray(const QString &ksefNumber)> invoiceCode;

    int baseHeight() const { return m_baseHeight; }
    int columns() const { return m_columns; }

private:
    // Part of a line; `advance`: what follows it on the line starts where it ends.
    void renderPiece(const QByteArray &piece, bool moreLines, bool advance);
    // The QR code of an earlier invoice, an inch square from where the line stands, with
    // its number under it; the lines after it are left to the job.
    void drawInvoiceCode(const QString &ksefNumber);
    void applyMarginTag(QByteArray &line);
    void carryOut(int symbol, const QByteArray &segment, bool moreLines);
    // The bytes [first, last) of a segment's text whose cells reach into the page, and
    // how far along the line the first one starts.
    struct Visible {
        qsizetype first = 0;
        qsizetype last = 0;
        int offset = 0;
    };
    Visible visiblePart(Canvas &canvas, const QByteArray &text, int crossExtent) const;
    QRect page() const;
    void drawSegment(const QByteArray &segment);
    void reportSegment(Canvas &canvas, const QByteArray &segment, const QByteArray &converted);
    void advanceOver(const QByteArray &segment);
    void recomputeSizes(bool fromLineHeight);
    void setColumns(int columns);
    void pageFeed(bool moreLines);
    void beginDoubleHeight();
    void endDoubleHeight();
    void beginScript(int &shift, double factor, bool down);
    void endScript(int shift, bool wasDown);
    void moveUp(int by);
    LogFont stateFont() const;
    Canvas &canvas();

    PrintSurface &m_surface;
    const PrinterSymbolTable &m_symbols;
    TextPrintState &m_state;
    ScriptMemory &m_memory;

    int m_baseHeight = 0;
    int m_columns = 80;
    SizeMode m_sizeMode = SizeMode::Normal;
    int m_doubleHeightShift = 0;
    int m_fitStep = 0;
    // The last font known to fit its columns, so an unchanged font is not realised again.
    LogFont m_fittedFont;
    int m_fittedColumns = 0;
    bool m_hasFittedFont = false;
    RenderReport *m_report = nullptr;
};

} // namespace ostrevo
