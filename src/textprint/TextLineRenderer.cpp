#include "textprint/TextLineRenderer.h"

#include "handling/RenderReport.h"
#include "jobs/Charsets.h"
#include "jobs/JobFile.h"
#include "jobs/Rounding.h"
#include "ksef/KsefEarlierInvoice.h"
#include "ksef/KsefVerification.h"
#include "textprint/FrameChars.h"
#include "textprint/MarginTag.h"
#include "textprint/PagePosition.h"
#include "textprint/PrintSurface.h"
#include "textprint/SymbolScanner.h"

#include <algorithm>
#include <array>

namespace ostrevo {

TextLineRenderer::TextLineRenderer(PrintSurface &surface, const PrinterSymbolTable &symbols,
                                   TextPrintState &state, ScriptMemory &memory)
    : m_surface(surface), m_symbols(symbols), m_state(state), m_memory(memory)
{
}

Canvas &TextLineRenderer::canvas()
{
    return m_surface.canvas();
}

void TextLineRenderer::startJob(const PageMetrics &metrics)
{
    TextPrintState &s = m_state;
    s = TextPrintState{};
    s.pageWidth = metrics.pageWidth;
    s.pageHeight = metrics.pageHeight;
    s.dpiX = metrics.dpiX;
    s.dpiY = metrics.dpiY;
    s.lineHeight = RoundHalfEven(s.dpiY / 6.0);
    m_baseHeight = RoundHalfEven(s.lineHeight * 0.95);
    s.fontHeight = m_baseHeight;
    m_columns = 80;
    s.charWidth = RoundHalfEven(s.pageWidth / 80.0);
    m_sizeMode = SizeMode::Normal;
    m_doubleHeightShift = 0;
    m_fitStep = 0;
    m_hasFittedFont = false;
}

LogFont TextLineRenderer::stateFont() const
{
    LogFont font;
    font.height = m_state.fontHeight;
    font.width = m_state.charWidth;
    font.escapement = m_state.escapement;
    font.orientation = 0;
    font.weight = m_state.weight;
    font.italic = m_state.italic != 0;
    font.underline = m_state.underline != 0;
    font.strikeOut = m_state.strikeOut != 0;
    font.charSet = 238;
    font.faceName = m_state.faceName;
    return font;
}

void TextLineRenderer::realiseFont()
{
    Canvas &c = canvas();
    LogFont font = stateFont();
    if (m_hasFittedFont && font == m_fittedFont && m_columns == m_fittedColumns && c.font() == font)
        return;
    c.setFont(font);
    // Narrow by 1, then 2 more, then 3 more... until the columns fit. A device that cannot
    // narrow the face any further must not keep the loop going forever.
    while (qint64(c.textWidth(LetterX)) * m_columns > m_state.pageWidth) {
        if (m_state.charWidth + m_fitStep - 1 < 1)
            break;
        --m_fitStep;
        m_state.charWidth += m_fitStep;
        font.width = m_state.charWidth;
        c.setFont(font);
    }
    m_fitStep = 0;
    m_fittedFont = font;
    m_fittedColumns = m_columns;
    m_hasFittedFont = true;
}

void TextLineRenderer::renderLine(const QByteArray &original, bool moreLines)
{
    QByteArray line = original;
    applyMarginTag(line);
    if (!invoiceCode)
        return renderPiece(line, moreLines, false);
    SplitAtKsefCodeTags(
        line, [&](const QByteArray &piece, bool codeFollows) { renderPiece(piece, moreLines, codeFollows); },
        [&](const QString &ksefNumber) { drawInvoiceCode(ksefNumber); });
}

void TextLineRenderer::renderPiece(const QByteArray &piece, bool moreLines, bool advance)
{
    QByteArray last;
    SplitAtSymbols(
        m_symbols, piece, [&](int symbol, const QByteArray &segment) { carryOut(symbol, segment, moreLines); },
        [&](const QByteArray &segment) {
            drawSegment(segment);
            last = segment;
        });
    if (advance)
        advanceOver(last);
}

void TextLineRenderer::drawInvoiceCode(const QString &ksefNumber)
{
    // Eight pixels a module: scaled to the inch, the modules stay sharp.
    const QImage qr = KsefQrImage(invoiceCode(ksefNumber));
    const QImage code = qr.scaled(qr.size() * 8, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    Canvas &c = canvas();
    TextPrintState &s = m_state;
    LogFont label;
    label.height = std::max(1, RoundHalfEven(s.dpiY / 16.0));
    label.faceName = QStringLiteral("Arial");
    if (s.escapement == 900) {
        // Turned with the text: its top towards the line's top.
        label.escapement = 900;
        c.drawImage(QRect(s.x, s.y - s.dpiY, s.dpiX, s.dpiY), code.transformed(QTransform().rotate(-90)));
        c.setFont(label);
        c.textOut(s.x + s.dpiX, s.y, ksefNumber.toLatin1());
        s.y = ClampPosition(qint64(s.y) - s.dpiY);
    } else {
        c.drawImage(QRect(s.x, s.y, s.dpiX, s.dpiY), code);
        c.setFont(label);
        c.textOut(s.x, s.y + s.dpiY, ksefNumber.toLatin1());
        // The code takes its inch of the line: what follows the tag stands beside it.
        s.x = ClampPosition(qint64(s.x) + s.dpiX);
    }
    realiseFont();
}

void TextLineRenderer::applyMarginTag(QByteArray &line)
{
    const auto tag = FindMarginTag(line);
    if (!tag)
        return;
    const qint64 margin = qint64(tag->columns) * canvas().textWidth(LetterX);
    // A margin past the page shows nothing either way; capped, it cannot overflow.
    m_state.leftMargin = int(std::min<qint64>(margin, std::max(m_state.pageWidth, m_state.pageHeight)));
    if (m_state.escapement == 900)
        m_state.y = m_state.pageHeight - m_state.leftMargin;
    else
        m_state.x = m_state.leftMargin;
    line.remove(tag->at, tag->length);
}

void TextLineRenderer::carryOut(int symbol, const QByteArray &segment, bool moreLines)
{
    TextPrintState &s = m_state;
    switch (symbol) {
    case SixLinesPerInch:
    case EightLinesPerInch:
        drawSegment(segment);
        s.lineHeight = RoundHalfEven(s.dpiY / (symbol == SixLinesPerInch ? 6.0 : 8.0));
        recomputeSizes(true);
        return;
    case Columns80: drawSegment(segment); advanceOver(segment); setColumns(80); break;
    case Columns132: drawSegment(segment); advanceOver(segment); setColumns(132); break;
    case Columns160: drawSegment(segment); advanceOver(segment); setColumns(160); break;
    case Columns96: drawSegment(segment); advanceOver(segment); setColumns(96); break;
    case PageFeed:
        drawSegment(segment);
        pageFeed(moreLines);
        return;
    case Portrait:
        s.escapement = 0;
        s.x = 0;
        s.y = 0;
        return;
    case Landscape:
        s.escapement = 900;
        s.x = 0;
        s.y = s.pageHeight;
        return;
    case MarginPlaceholder:
    case DuplexOn:
    case DuplexOff:
    case Spare:
        return;
    default:
        drawSegment(segment);
        advanceOver(segment);
        break;
    }
    if (ApplyStyleSymbol(symbol, s)) {
        recomputeSizes(false);
        return;
    }
    switch (symbol) {
    case DoubleHeightOn: beginDoubleHeight(); break;
    case DoubleHeightOff: endDoubleHeight(); break;
    case SuperscriptOn: beginScript(m_memory.superscriptShift, 0.06, false); break;
    case SuperscriptOff: endScript(m_memory.superscriptShift, false); break;
    case SubscriptOn: beginScript(m_memory.subscriptShift, 0.4, true); break;
    case SubscriptOff: endScript(m_memory.subscriptShift, true); break;
    default: break;
    }
    recomputeSizes(false);
}

QRect TextLineRenderer::page() const
{
    return QRect(0, 0, m_state.pageWidth, m_state.pageHeight);
}

TextLineRenderer::Visible TextLineRenderer::visiblePart(Canvas &c, const QByteArray &text, int crossExtent) const
{
    const TextPrintState &s = m_state;
    const bool rotated = s.escapement == 900;
    // Across the line: the cell (and the frame strokes reaching down to the next line).
    const int crossStart = rotated ? s.x : s.y;
    const int crossLimit = rotated ? s.pageWidth : s.pageHeight;
    if (qint64(crossStart) + crossExtent <= 0 || crossStart >= crossLimit)
        return {};
    const qint64 start = rotated ? qint64(s.pageHeight) - s.y : s.x; // distance from the page's near edge
    const qint64 limit = rotated ? s.pageHeight : s.pageWidth;
    Visible v;
    // The usual line lies within the page: one measurement says so.
    if (start >= 0 && start + c.textWidth(text) <= limit) {
        v.last = text.size();
        return v;
    }
    // Along the line: the bytes whose cells reach into the page, measured with the
    // advance of each byte (whole pixels, so the sum is the text's width).
    std::array<int, 256> advance;
    advance.fill(-1);
    qint64 at = start;
    qsizetype i = 0;
    for (; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (advance[b] < 0)
            advance[b] = c.textWidth(QByteArray(1, char(b)));
        if (at + advance[b] > 0)
            break;
        at += advance[b];
    }
    v.first = i;
    v.offset = int(at - start);
    for (; i < text.size() && at < limit; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (advance[b] < 0)
            advance[b] = c.textWidth(QByteArray(1, char(b)));
        at += advance[b];
    }
    v.last = i;
    return v;
}

void TextLineRenderer::drawSegment(const QByteArray &segment)
{
    realiseFont();
    if (segment.isEmpty())
        return;
    Canvas &c = canvas();
    const QByteArray whole = Cp852PrintoutToWin1250(segment);
    if (m_report)
        reportSegment(c, segment, whole);
    // What falls wholly outside the page is left out: an endless line costs one page width.
    const int crossExtent = std::max(c.textHeight(LetterX), m_state.lineHeight);
    const Visible visible = visiblePart(c, whole, crossExtent);
    if (visible.first >= visible.last)
        return;
    const bool cut = visible.first > 0 || visible.last < whole.size();
    const QByteArray text = cut ? whole.mid(visible.first, visible.last - visible.first) : whole;
    const QPoint origin = m_state.escapement == 900 ? QPoint(m_state.x, m_state.y - visible.offset)
                                                    : QPoint(m_state.x + visible.offset, m_state.y);
    if (m_state.underline || m_state.strikeOut) {
        // Underlined or struck-out blanks leave ink: the whole segment goes out.
        c.textOut(origin.x(), origin.y(), text);
    } else {
        // Blanks at either end leave no ink: frame columns and padding are not sent as
        // glyphs, and a frame-only segment outputs no text at all.
        const auto [first, last] = InkOf(text);
        if (first < last) {
            const int skip = first > 0 ? c.textWidth(text.left(first)) : 0;
            const QByteArray ink = (first > 0 || last < text.size()) ? text.mid(first, last - first) : text;
            if (m_state.escapement == 900)
                c.textOut(origin.x(), origin.y() - skip, ink);
            else
                c.textOut(origin.x() + skip, origin.y(), ink);
        }
    }
    // Verticals reach down to the next line, which a cell of 0.95 line heights would miss.
    DrawFrameChars(c, segment, QPoint(m_state.x, m_state.y), m_state.escapement, m_state.dpiY, m_state.lineHeight,
                   page());
}

void TextLineRenderer::reportSegment(Canvas &c, const QByteArray &segment, const QByteArray &converted)
{
    m_report->segment(segment, m_symbols);
    m_report->text(converted);
    // Frames count as ink here: their lines are drawn though their bytes print blank.
    qsizetype ink = segment.size();
    while (ink > 0 && segment[ink - 1] == ' ')
        --ink;
    if (ink == 0)
        return;
    const TextPrintState &s = m_state;
    const bool rotated = s.escapement == 900;
    const qint64 start = rotated ? qint64(s.pageHeight) - s.y : s.x;
    const qint64 end = start + c.textWidth(converted.left(ink));
    const qint64 limit = rotated ? s.pageHeight : s.pageWidth;
    const int cell = c.textWidth(LetterX);
    if (end > limit && cell > 0)
        m_report->tooWide(int(std::min<qint64>((end + cell - 1) / cell, PositionLimit)), m_columns);
}

bool TextLineRenderer::renderLines(LineReader &reader, const std::function<bool()> &quit)
{
    realiseFont();
    while (auto line = reader.next()) {
        if (quit && quit())
            return false;
        if (m_report)
            m_report->setLine(reader.lineNumber());
        renderLine(*line, !reader.atEnd());
        nextLine();
    }
    if (m_report)
        m_report->setLine(0);
    return true;
}

void TextLineRenderer::advanceOver(const QByteArray &segment)
{
    if (segment.isEmpty())
        return;
    const qint64 width = canvas().textWidth(segment);
    if (m_state.escapement == 900)
        m_state.y = ClampPosition(m_state.y - width);
    else
        m_state.x = ClampPosition(m_state.x + width);
}

void TextLineRenderer::setColumns(int columns)
{
    m_columns = columns;
}

void TextLineRenderer::recomputeSizes(bool fromLineHeight)
{
    if (fromLineHeight)
        m_baseHeight = RoundHalfEven(m_state.lineHeight * 0.95);
    m_state.fontHeight = SizeModeHeight(m_baseHeight, m_sizeMode, m_memory.savedSizeMode, m_state.fontHeight);
    m_state.charWidth = RoundHalfEven(double(m_state.pageWidth) / m_columns);
}

void TextLineRenderer::pageFeed(bool moreLines)
{
    if (!moreLines || m_surface.aborted())
        return;
    m_surface.newPage();
    m_state.x = 0;
    m_state.y = m_state.escapement == 900 ? m_state.pageHeight : 0;
}

void TextLineRenderer::moveUp(int by)
{
    if (m_state.escapement == 900)
        m_state.x = ClampPosition(qint64(m_state.x) - by);
    else
        m_state.y = ClampPosition(qint64(m_state.y) - by);
}

void TextLineRenderer::beginDoubleHeight()
{
    m_doubleHeightShift = RoundHalfEven(m_state.fontHeight * 0.73);
    if (m_sizeMode == SizeMode::Normal)
        moveUp(m_doubleHeightShift);
    m_sizeMode = SizeMode::DoubleHeight;
}

void TextLineRenderer::endDoubleHeight()
{
    if (m_sizeMode == SizeMode::DoubleHeight)
        moveUp(-m_doubleHeightShift);
    m_sizeMode = SizeMode::Normal;
}

void TextLineRenderer::beginScript(int &shift, double factor, bool down)
{
    shift = RoundHalfEven(m_state.fontHeight * factor);
    m_memory.savedSizeMode = m_sizeMode;
    if (m_sizeMode == SizeMode::Normal || m_sizeMode == SizeMode::DoubleHeight)
        moveUp(down ? -shift : shift);
    m_sizeMode = SizeMode::Script;
}

void TextLineRenderer::endScript(int shift, bool wasDown)
{
    if (m_sizeMode == SizeMode::Script)
        moveUp(wasDown ? shift : -shift);
    m_sizeMode = m_memory.savedSizeMode;
}

void TextLineRenderer::nextLine()
{
    TextPrintState &s = m_state;
    if (s.escapement == 900) {
        s.x = ClampPosition(qint64(s.x) + s.lineHeight);
        s.y = s.pageHeight - s.leftMargin;
        if (canvas().textHeight(LetterX) + s.x >= s.pageWidth) {
            m_surface.newPage();
            s.x = 0;
            s.y = s.pageHeight - s.leftMargin;
        }
    } else {
        s.y = ClampPosition(qint64(s.y) + s.lineHeight);
        s.x = s.leftMargin;
        if (canvas().textHeight(LetterX) + s.y >= s.pageHeight) {
            m_surface.newPage();
            s.y = 0;
            s.x = s.leftMargin;
        }
    }
}

} // namespace ostrevo
