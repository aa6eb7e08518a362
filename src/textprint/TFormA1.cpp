#include "textprint/TFormA1.h"

#include "handling/RenderReport.h"
#include "jobs/Charsets.h"
#include "jobs/JobFile.h"
#include "jobs/Rounding.h"
#include "ksef/KsefEarlierInvoice.h"
#include "ksef/KsefVerification.h"
#include "textprint/FrameChars.h"
#include "textprint/MarginTag.h"
#include "textprint/PagePosition.h"
#include "textprint/SymbolScanner.h"

#include <algorithm>
#include <cmath>

namespace ostrevo {

namespace {

// The page is laid out on 0.98 of the sheet; this gives the whole sheet's height back.
constexpr double FullPage = 1.0204081632653061;

// Frame geometry is worked out in hundredths of a page unit: a cell 7.2 units wide then
// joins its neighbours exactly, and a double line keeps its two strokes apart.
constexpr int FrameScale = 100;


} // namespace

TFormA1::TFormA1(RealisedFontCache &fonts, ScriptMemory &memory, const PrinterSymbolTable *site)
    : piPDF1(fonts)
    , m_memory(memory)
{
    const auto &tags = PdfTags();
    for (size_t i = 0; i < tags.size(); ++i) {
        m_tags.push_back(tags[i]);
        m_meanings.push_back(int(i));
    }
    if (!site)
        return;
    // A site whose program writes its printer's escape sequences (as DefSym.ovx names them)
    // gets the same printout in PDF as on the printer; the tags keep working beside them.
    for (int i = 0; i <= SubscriptOff; ++i) {
        const QByteArray &string = (*site)[size_t(i)];
        if (!string.isEmpty() && std::find(m_tags.begin(), m_tags.end(), string) == m_tags.end()) {
            m_tags.push_back(string);
            m_meanings.push_back(i);
        }
    }
}

int TFormA1::render(LineReader &reader, const QString &pdfPath, const std::function<bool()> &quit)
{
    piPDF1.SetFileName(pdfPath);
    piPDF1.SetDocumentFlag(0);
    piPDF1.BeginDoc();
    try {
        startJob();
        while (auto line = reader.next()) {
            if (quit && quit())
                throw JobError(QStringLiteral("PDF przerwany: program kończy pracę"));
            if (HoldsTag(*line, "<MAIL_BODY>")) {
                // The mail's body is not part of the printout, and leaves no gap in it.
                line.reset();
                while (auto skipped = reader.next()) {
                    if (HoldsTag(*skipped, "<END>")) {
                        line = reader.next();
                        break;
                    }
                }
            }
            if (m_report)
                m_report->setLine(reader.lineNumber());
            if (line)
                renderLine(*line, !reader.atEnd());
            nextLine();
        }
        if (m_report)
            m_report->setLine(0);
        const int pages = piPDF1.pageCount() + 1;
        piPDF1.EndDoc();
        return pages;
    } catch (...) {
        piPDF1.Abort();
        throw;
    }
}

void TFormA1::startJob()
{
    TextPrintState &s = m_state;
    s = TextPrintState{};
    s.pageHeight = RoundHalfEven(piPDF1.GetPageHeight() * 0.98);
    s.pageWidth = RoundHalfEven(piPDF1.GetPageWidth() * 0.98);
    // The page counts as 8 by 11 inches.
    s.dpiX = s.pageWidth / 8;
    s.dpiY = s.pageHeight / 11;
    s.lineHeight = RoundHalfEven(s.dpiY / 6.0);
    m_baseHeight = RoundHalfEven(s.lineHeight * 0.95);
    m_fontSize = m_baseHeight;
    m_columns = 80;
    m_angle = 0;
    m_sizeMode = SizeMode::Normal;
    m_doubleHeightShift = 0;
    m_fitFactor = 1.0;
    m_verticalFactor = 1.0;
    m_sizeFactor = 1.0;
    m_scaleX = 1.0;
    m_scaleY = 1.0;
    m_turnedText = false;
    m_lineWidth = -1;
    // A margin tag on the first line is measured in the job's own font.
    applyFont();
}

void TFormA1::applyFont()
{
    const TextPrintState &s = m_state;
    piPDF1.SetFont(s.faceName, s.weight == 700, s.italic != 0, s.underline != 0, s.strikeOut != 0, m_fontSize, 238);
    // The fit is measured on the font just set, so that the first text in a new size fits
    // its columns too, not only the texts after it.
    const double factor = piPDF1.GetTextWidth(LetterX) * m_columns / s.pageWidth;
    if (!(factor > 0))
        return;
    // The old fit undone and the new one applied, as one scaling.
    if (m_angle == 90) {
        if (factor != m_verticalFactor)
            scale(1, m_verticalFactor / factor);
        m_verticalFactor = factor;
    } else {
        if (factor != m_fitFactor)
            scale(m_fitFactor / factor, 1);
        m_fitFactor = factor;
    }
}

void TFormA1::renderLine(QByteArray line, bool moreLines)
{
    applyMarginTag(line);
    if (!invoiceCode)
        return renderPiece(line, moreLines, false);
    SplitAtKsefCodeTags(
        line, [&](const QByteArray &piece, bool codeFollows) { renderPiece(piece, moreLines, codeFollows); },
        [&](const QString &ksefNumber) { drawInvoiceCode(ksefNumber); });
}

void TFormA1::renderPiece(const QByteArray &piece, bool moreLines, bool advance)
{
    QByteArray last;
    SplitAtSymbols(
        m_tags, piece, [&](int hit, const QByteArray &segment) { carryOut(m_meanings[size_t(hit)], segment, moreLines); },
        [&](const QByteArray &segment) {
            drawSegment(segment);
            last = segment;
        });
    if (advance)
        advanceOver(last);
}

void TFormA1::drawInvoiceCode(const QString &ksefNumber)
{
    const QImage code = KsefQrImage(invoiceCode(ksefNumber));
    // An inch on the sheet whatever the page's scaling; eight pixels a module, so that a
    // reader's smoothing does not blur the modules.
    const double across = m_state.dpiX / m_scaleX;
    const double down = m_state.dpiY / m_scaleY;
    const int image = piPDF1.AddImage(code.scaled(code.size() * 8, Qt::IgnoreAspectRatio, Qt::FastTransformation), 0);
    TextPrintState &s = m_state;
    piPDF1.SetFont(QStringLiteral("Arial"), false, false, false, false, std::max(1, RoundHalfEven(s.dpiY / 16.0)), 238);
    // The code takes its inch of the line: what follows the tag stands beside it.
    if (m_angle == 90) {
        piPDF1.ShowImage(image, 90, across, down, s.x, s.y);
        piPDF1.ShowText(s.x + across, s.y, 90, ksefNumber.toLatin1());
        s.y = ClampPosition(qint64(s.y) - qint64(std::ceil(down)));
    } else {
        piPDF1.ShowImage(image, 0, down, across, s.x, s.y);
        piPDF1.ShowText(s.x, s.y + down, 0, ksefNumber.toLatin1());
        s.x = ClampPosition(qint64(s.x) + qint64(std::ceil(across)));
    }
    applyFont();
}

void TFormA1::applyMarginTag(QByteArray &line)
{
    const auto tag = FindMarginTag(line);
    if (!tag)
        return;
    const qint64 margin = qint64(tag->columns) * RoundHalfEven(piPDF1.GetTextWidth(LetterX));
    m_state.leftMargin = int(std::min<qint64>(margin, std::max(m_state.pageWidth, m_state.pageHeight)));
    if (m_angle == 90)
        m_state.y = m_state.pageHeight - m_state.leftMargin;
    else
        m_state.x = m_state.leftMargin;
    line.remove(tag->at, tag->length);
}

void TFormA1::carryOut(int symbol, const QByteArray &segment, bool moreLines)
{
    TextPrintState &s = m_state;
    switch (symbol) {
    case SixLinesPerInch:
    case EightLinesPerInch:
        drawSegment(segment);
        s.lineHeight = RoundHalfEven(s.dpiY / (symbol == SixLinesPerInch ? 6.0 : 8.0));
        recomputeFontSize(true);
        applyFont();
        return;
    case PageFeed:
        drawSegment(segment);
        if (moreLines)
            newPage();
        return;
    case Portrait:
        turn(0);
        return;
    case Landscape:
        turn(90);
        return;
    case MarginPlaceholder:
        return;
    default:
        if (symbol > SubscriptOff)
            return;
        drawSegment(segment);
        advanceOver(segment);
        break;
    }
    if (ApplyStyleSymbol(symbol, s))
        return;
    switch (symbol) {
    case Columns80: m_columns = 80; break;
    case Columns132: m_columns = 132; break;
    case Columns160: m_columns = 160; break;
    case Columns96: m_columns = 96; break;
    case DoubleHeightOn: beginDoubleHeight(); break;
    case DoubleHeightOff: endDoubleHeight(); break;
    case SuperscriptOn: beginScript(m_memory.superscriptShift, 0.06, false); break;
    case SuperscriptOff: endScript(m_memory.superscriptShift, false); break;
    case SubscriptOn: beginScript(m_memory.subscriptShift, 0.6, true); break;
    case SubscriptOff: endScript(m_memory.subscriptShift, true); break;
    default: break;
    }
}

double TFormA1::alongLimit() const
{
    // Text at 0 degrees is scaled by 1 / fit across the page; at 90 degrees it runs up
    // towards the top edge, scaled by 1 / the vertical factor about the bottom edge.
    if (m_angle == 90) {
        const double top = piPDF1.GetPageHeight() * (1.0 - m_verticalFactor);
        return m_state.y - top;
    }
    return piPDF1.GetPageWidth() * m_fitFactor - m_state.x;
}

void TFormA1::drawSegment(const QByteArray &whole)
{
    applyFont();
    if (whole.isEmpty())
        return;
    // What lies wholly past the page's edge is left out: an endless line costs one width.
    QByteArray segment = whole;
    const double limit = alongLimit();
    const double charWidth = piPDF1.GetTextWidth(LetterX);
    if (m_report)
        reportSegment(whole, Cp852PrintoutToWin1250(whole), charWidth, limit);
    if (charWidth > 0 && segment.size() * charWidth > limit) {
        const qsizetype fit = limit <= 0 ? 0 : qsizetype(std::min<double>(segment.size(), limit / charWidth + 1));
        segment.truncate(fit);
        if (segment.isEmpty())
            return;
    }
    const double fraction = carriedFraction();
    if (m_angle == 90)
        piPDF1.ShowText(m_state.x, m_state.y - fraction, m_angle, Cp852PrintoutToWin1250(segment));
    else
        piPDF1.ShowText(m_state.x + fraction, m_state.y, m_angle, Cp852PrintoutToWin1250(segment));
    m_turnedText = m_turnedText || m_angle == 90;
    drawFrames(segment);
}

void TFormA1::reportSegment(const QByteArray &segment, const QByteArray &converted, double charWidth, double limit)
{
    m_report->segment(segment, m_tags);
    m_report->text(converted);
    // Frames count as ink here: their lines are drawn though their bytes print blank.
    qsizetype ink = segment.size();
    while (ink > 0 && segment[ink - 1] == ' ')
        --ink;
    if (ink == 0 || !(charWidth > 0))
        return;
    const double width = piPDF1.GetTextWidth(converted.left(ink));
    if (width <= limit + charWidth / 100)
        return;
    // Columns counted from the line's near edge: the margin and the text before it too.
    const double before = m_angle == 90 ? m_state.pageHeight - m_state.y : m_state.x;
    const double reached = std::ceil((before + width) / charWidth - 0.01);
    m_report->tooWide(int(std::min<double>(reached, double(PositionLimit))), m_columns);
}

void TFormA1::drawFrames(const QByteArray &segment)
{
    bool any = false;
    for (char c : segment)
        any = any || IsFrameChar(static_cast<unsigned char>(c));
    if (!any)
        return;
    const double widthX = piPDF1.GetTextWidth(LetterX);
    FrameCell cell = MakeFrameCell(RoundHalfEven(widthX * FrameScale), m_fontSize * FrameScale,
                                   m_state.dpiY * FrameScale, m_state.lineHeight * FrameScale);
    // In double height or a script the page is stretched across the lines: the cell is
    // stretched with it, as on the printer the taller font makes it taller, but the two
    // strokes of a double line stay as far apart as the pen makes them there.
    const double stretch = m_sizeFactor;
    if (stretch != 1.0) {
        const int apart = RoundHalfEven((cell.ym - cell.y1) / stretch);
        cell.y1 = cell.ym - apart;
        cell.y2 = cell.ym + apart;
    }
    QVector<QLine> lines;
    const int escapement = m_angle == 90 ? 900 : 0;
    const double fraction = carriedFraction();
    const qint64 x = qRound64((m_state.x + (escapement == 900 ? 0 : fraction)) * FrameScale);
    const qint64 y = qRound64((m_state.y - (escapement == 900 ? fraction : 0)) * FrameScale);
    for (qsizetype i = 0; i < segment.size(); ++i) {
        const auto code = static_cast<unsigned char>(segment[i]);
        if (!IsFrameChar(code))
            continue;
        const qint64 along = qRound64(i * widthX * FrameScale);
        const qint64 cx = escapement == 900 ? x : x + along;
        const qint64 cy = escapement == 900 ? y - along : y;
        if (std::abs(cx) > PositionLimit || std::abs(cy) > PositionLimit)
            break;
        AppendFrameLines(code, cell, QPoint(int(cx), int(cy)), escapement, lines);
    }
    if (lines.isEmpty())
        return;
    // A rule of box characters is one stroke, not one per cell.
    MergeStraightLines(lines);
    const double width = double(cell.penWidth) / FrameScale;
    if (stretch == 1.0) {
        strokeFrameLines(lines, width);
        return;
    }
    // A stroke along the text is thickened by the stretch, so its width is divided by it
    // and it keeps the pen's width on the page (in double height it came out twice as
    // thick). The width of a stroke across the lines lies along them and is not stretched.
    QVector<QLine> along, across;
    for (const QLine &line : lines)
        ((escapement == 900 ? line.x1() == line.x2() : line.y1() == line.y2()) ? along : across).append(line);
    strokeFrameLines(across, width);
    strokeFrameLines(along, width / stretch);
}

void TFormA1::strokeFrameLines(const QVector<QLine> &lines, double width)
{
    if (lines.isEmpty())
        return;
    if (width != m_lineWidth) {
        piPDF1.SetLineWidth(width);
        m_lineWidth = width;
    }
    QVector<QLineF> strokes;
    strokes.reserve(lines.size());
    for (const QLine &line : lines)
        strokes.append(QLineF(QPointF(line.p1()) / FrameScale, QPointF(line.p2()) / FrameScale));
    piPDF1.StrokeLines(strokes);
}

void TFormA1::advanceOver(const QByteArray &segment)
{
    if (segment.isEmpty())
        return;
    // The position stays whole page units; what the exact widths leave over is carried to
    // the next piece of the same line, so that pieces split by bold or underline stay on
    // the column grid instead of adding up their roundings.
    const double width = piPDF1.GetTextWidth(Cp852PrintoutToWin1250(segment));
    const double fraction = carriedFraction();
    if (m_angle == 90) {
        const double exact = m_state.y - fraction - width;
        m_state.y = ClampPosition(qint64(std::ceil(exact)));
        m_carry = {m_state.x, m_state.y, m_state.y - exact};
    } else {
        const double exact = m_state.x + fraction + width;
        m_state.x = ClampPosition(qint64(std::floor(exact)));
        m_carry = {m_state.x, m_state.y, exact - m_state.x};
    }
}

double TFormA1::carriedFraction() const
{
    // Valid only while nothing else has moved the position since it was carried.
    if (m_carry.x != m_state.x || m_carry.y != m_state.y)
        return 0;
    return std::clamp(m_carry.fraction, 0.0, 1.0);
}

void TFormA1::recomputeFontSize(bool fromLineHeight)
{
    if (fromLineHeight)
        m_baseHeight = RoundHalfEven(m_state.lineHeight * 0.95);
    m_fontSize = SizeModeHeight(m_baseHeight, m_sizeMode, m_memory.savedSizeMode, m_fontSize);
}

void TFormA1::newPage()
{
    TextPrintState &s = m_state;
    piPDF1.NewPage();
    // A new page starts unscaled: the fit is applied again.
    m_scaleX = 1.0;
    m_scaleY = 1.0;
    m_turnedText = false;
    if (m_angle == 90) {
        scale(1, 1 / m_verticalFactor);
        s.x = 0;
        s.y = s.pageHeight - s.leftMargin;
        piPDF1.SetPageLandscape(1);
    } else {
        scale(1 / m_fitFactor, 1);
        s.y = 0;
        s.x = s.leftMargin;
    }
    // A size mode in force goes on on the new page: the page is stretched for it again,
    // so that double height stays double (it squashed the rest of the page to half).
    m_sizeFactor = 1.0;
    applyVerticalFactor();
    m_lineWidth = -1;
}

void TFormA1::turn(int angle)
{
    TextPrintState &s = m_state;
    if (angle != m_angle) {
        // Each angle scales the page its own way: upright text by the column fit across it
        // and the size mode down it, turned text by the column fit along it. Left in place,
        // the upright fit stretched the turned lines apart until the last ones fell off the
        // sheet, and the turned fit lifted the upright lines above it. The new angle starts
        // on an unscaled page and its fit follows with the next font.
        unscale();
        m_fitFactor = 1.0;
        m_verticalFactor = 1.0;
        m_sizeFactor = 1.0;
        m_angle = angle;
    }
    s.x = 0;
    if (angle == 90) {
        s.y = s.pageHeight;
        piPDF1.SetPageLandscape(1);
    } else {
        s.y = 0;
        // The page shows the way its text reads: upright unless turned text is on it.
        if (!m_turnedText)
            piPDF1.SetPageLandscape(0);
    }
}

void TFormA1::scale(double horizontal, double vertical)
{
    piPDF1.Scale(horizontal, vertical);
    m_scaleX *= horizontal;
    m_scaleY *= vertical;
}

void TFormA1::unscale()
{
    if (m_scaleX != 1.0 || m_scaleY != 1.0)
        piPDF1.Scale(1 / m_scaleX, 1 / m_scaleY);
    m_scaleX = 1.0;
    m_scaleY = 1.0;
}

void TFormA1::nextLine()
{
    TextPrintState &s = m_state;
    if (m_angle == 90) {
        s.x = ClampPosition(qint64(s.x) + s.lineHeight);
        s.y = s.pageHeight - s.leftMargin;
        if (s.x + m_fontSize >= s.pageWidth)
            newPage();
    } else {
        s.y = ClampPosition(qint64(s.y) + s.lineHeight);
        s.x = s.leftMargin;
        if (s.y + m_fontSize >= s.pageHeight)
            newPage();
    }
}

void TFormA1::moveUp(int by)
{
    if (m_angle == 90)
        m_state.x = ClampPosition(qint64(m_state.x) - by);
    else
        m_state.y = ClampPosition(qint64(m_state.y) - by);
}

void TFormA1::applyVerticalFactor()
{
    const double s = m_sizeFactor;
    double next = s;
    switch (m_sizeMode) {
    case SizeMode::Normal: next = 1.0; break;
    case SizeMode::DoubleHeight: next = 2.0; break;
    case SizeMode::Script:
        if (m_memory.savedSizeMode == SizeMode::Normal)
            next = 0.6;
        else if (m_memory.savedSizeMode == SizeMode::DoubleHeight)
            next = 1.2;
        break;
    }
    // The page is stretched across the lines, about the edge they start from, and the
    // position stays on its spot of the sheet: down the page for upright text (about the
    // bottom edge, where the document's scaling is anchored), across it for turned text.
    // The turned text's column fit along its lines is a scaling of its own and stays.
    if (m_angle == 0) {
        const double t = m_state.pageHeight * FullPage;
        m_state.y = ClampPosition(qRound64(m_state.y * s + t - s * t));
        m_state.y = ClampPosition(qRound64(m_state.y / next + t - t / next));
        if (next != s)
            scale(1, next / s);
    } else {
        m_state.x = ClampPosition(qRound64(m_state.x * s / next));
        if (next != s)
            scale(next / s, 1);
    }
    m_sizeFactor = next;
}

void TFormA1::beginDoubleHeight()
{
    m_doubleHeightShift = RoundHalfEven(m_fontSize * 0.37);
    if (m_sizeMode == SizeMode::Normal)
        moveUp(RoundHalfEven(m_fontSize * 0.71));
    m_sizeMode = SizeMode::DoubleHeight;
    applyVerticalFactor();
}

void TFormA1::endDoubleHeight()
{
    if (m_sizeMode == SizeMode::DoubleHeight)
        moveUp(-m_doubleHeightShift);
    m_sizeMode = SizeMode::Normal;
    applyVerticalFactor();
}

void TFormA1::beginScript(int &shift, double factor, bool down)
{
    shift = RoundHalfEven(m_fontSize * factor);
    m_memory.savedSizeMode = m_sizeMode;
    if (m_sizeMode == SizeMode::Normal || m_sizeMode == SizeMode::DoubleHeight)
        moveUp(down ? -shift : shift);
    m_sizeMode = SizeMode::Script;
    applyVerticalFactor();
}

void TFormA1::endScript(int shift, bool wasDown)
{
    if (m_sizeMode == SizeMode::Script) {
        // The shift was made before the page was stretched and is undone inside the
        // stretch: taken as it is, a subscript's 7 units would come back as 4 on the page
        // and leave the rest of the line lower than it began.
        const int back = RoundHalfEven(shift / m_sizeFactor);
        moveUp(wasDown ? back : -back);
    }
    m_sizeMode = m_memory.savedSizeMode;
    applyVerticalFactor();
}

} // namespace ostrevo
