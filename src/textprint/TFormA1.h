#pragma once

#include "devices/TpiPDFDocument.h"
#include "textprint/SymbolTable.h"
#include "textprint/TextPrintState.h"

#include <QByteArray>
#include <QLine>
#include <QString>
#include <QVector>

#include <functional>
#include <vector>

namespace ostrevo {

class LineReader;
class RealisedFontCache;
class RenderReport;

// Renders one plain-text printout into a PDF file, one instance per job: the line grammar
// and the control symbols of the printer renderer, drawn through the PDF document piPDF1
// in its page units, with the column fit and the size modes done by scaling the page.
class TFormA1 {
public:
    // `memory` is what outlasts a job: the size mode saved by a script and the shifts.
    // `site` is the site's symbol table (DefSym.ovx), when it has one: its strings for the
    // meanings the tags share are recognised beside the tags.
    TFormA1(RealisedFontCache &fonts, ScriptMemory &memory, const PrinterSymbolTable *site = nullptr);

    // Renders the lines `reader` still holds into the file `pdfPath`; returns the page
    // count. A failure throws, and leaves no file behind; `quit` gives up between lines.
    int render(LineReader &reader, const QString &pdfPath, const std::function<bool()> &quit);

    // What a preview wants to know of the job; none (the default) in normal runs.
    void setReport(RenderReport *report) { m_report = report; }

    // KOD I of an invoice sent earlier, by its KSeF number, for a "<KSEF:number>" tag: the
    // address its QR code holds; throws JobError when there is none. Unset, tags are text.
    std::function<QByteArray(const QString &ksefNumber)> invoiceCode;

    TpiPDFDocument piPDF1;

private:
    void startJob();
    void renderLine(QByteArray line, bool moreLines);
    // Part of a line; `advance`: what follows it on the line starts where it ends.
    void renderPiece(const QByteArray &piece, bool moreLines, bool advance);
    // The QR code of an earlier invoice, an inch square from where the line stands, with
    // its number under it; the lines after it are left to the job.
    void drawInvoiceCode(const QString &ksefNumber);
    void applyMarginTag(QByteArray &line);
    void carryOut(int symbol, const QByteArray &segment, bool moreLines);
    void applyFont();
    void drawSegment(const QByteArray &segment);
    void drawFrames(const QByteArray &segment);
    // Strokes frame lines given in hundredths of a page unit with a pen of `width` units.
    void strokeFrameLines(const QVector<QLine> &lines, double width);
    void reportSegment(const QByteArray &segment, const QByteArray &converted, double charWidth, double limit);
    void advanceOver(const QByteArray &segment);
    double carriedFraction() const;
    void recomputeFontSize(bool fromLineHeight);
    void newPage();
    void nextLine();
    // <Pion> (0) and <Poz> (90).
    void turn(int angle);
    // Scale of the document, kept count of so that it can be undone.
    void scale(double horizontal, double vertical);
    void unscale();
    void beginDoubleHeight();
    void endDoubleHeight();
    void beginScript(int &shift, double factor, bool down);
    void endScript(int shift, bool wasDown);
    void moveUp(int by);
    void applyVerticalFactor();
    // How far along the line text can still show on the page, in current page units.
    double alongLimit() const;

    ScriptMemory &m_memory;
    std::vector<QByteArray> m_tags; // the tags, then the site's strings
    std::vector<int> m_meanings;    // the symbol index each of them stands for
    TextPrintState m_state;
    int m_columns = 80;
    SizeMode m_sizeMode = SizeMode::Normal;
    int m_baseHeight = 0;
    int m_fontSize = 0;
    int m_angle = 0;
    int m_doubleHeightShift = 0;
    double m_fitFactor = 1.0;      // horizontal, text at 0 degrees
    double m_verticalFactor = 1.0; // the fit of text at 90 degrees, along its lines
    double m_sizeFactor = 1.0;     // the size mode's stretch across the lines
    double m_scaleX = 1.0;         // what the page's scaling holds now
    double m_scaleY = 1.0;
    bool m_turnedText = false;     // the page holds text drawn at 90 degrees
    double m_lineWidth = -1;       // the frame pen last set on the document
    RenderReport *m_report = nullptr;
    // The part of a page unit the last piece of text left over, at the position it left.
    struct Carry {
        int x = 0;
        int y = 0;
        double fraction = 0;
    } m_carry;
};

} // namespace ostrevo
