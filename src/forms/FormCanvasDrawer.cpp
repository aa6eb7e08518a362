#include "forms/FormCanvasDrawer.h"

#include "devices/TAsBarcode.h"
#include "forms/FormBarcodeModule.h"
#include "forms/FormSheets.h"
#include "jobs/Rounding.h"

#include <cmath>
#include <cstdlib>

namespace ostrevo {

namespace {

// Windows colour values are 0x00BBGGRR.
QColor WindowsColor(std::uint32_t value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

// T_TEXTURE and B_TEXTURE; numbers outside the table paint solid, as 0 does.
BrushStyle Pattern(int number)
{
    static constexpr BrushStyle Styles[] = {BrushStyle::Solid,           BrushStyle::Clear,
                                            BrushStyle::Horizontal,      BrushStyle::Vertical,
                                            BrushStyle::ForwardDiagonal, BrushStyle::BackwardDiagonal,
                                            BrushStyle::Cross,           BrushStyle::DiagonalCross};
    return number >= 0 && number < 8 ? Styles[number] : BrushStyle::Solid;
}

// L_TYPE 0..6: solid, dash, dot, dash-dot, dash-dot-dot, invisible, inside the frame
// (solid, its rectangles narrowed by the drawer); others solid.
PenStyle LineStyle(int number)
{
    static constexpr PenStyle Styles[] = {PenStyle::Solid, PenStyle::Dash, PenStyle::Dot,  PenStyle::DashDot,
                                          PenStyle::DashDotDot, PenStyle::Null, PenStyle::Solid};
    return number >= 0 && number < 7 ? Styles[number] : PenStyle::Solid;
}

constexpr int InsideFrame = 6;

int Truncated(long double v)
{
    return int(std::trunc(std::clamp<long double>(v, -1e9L, 1e9L)));
}

int Rounded(double v)
{
    return RoundHalfEven(std::clamp(v, -1e9, 1e9));
}

} // namespace

FormCanvasDrawer::FormCanvasDrawer(FormSheets &sheets, const TAsBarcode &barcodeDefaults, bool ground)
    : m_sheets(sheets), m_barcodeDefaults(barcodeDefaults), m_ground(ground)
{
}

Canvas &FormCanvasDrawer::canvas()
{
    return m_sheets.canvas();
}

void FormCanvasDrawer::beginPage(int, bool landscape, bool)
{
    m_sheets.startPage(landscape);
    m_metrics = m_sheets.metrics();
    m_scale = FormPrinterScale(m_metrics, m_size);
}

void FormCanvasDrawer::setPageScale(const FormPageSize &size)
{
    m_size = size;
    m_scale = FormPrinterScale(m_metrics, m_size);
}

void FormCanvasDrawer::applyTextAttributes(const FormAttributes &a)
{
    m_text = a;
    LogFont font;
    font.height = Truncated(a.textSize * m_scale.fy() / 10000);
    font.width = 0;
    // T_ANGLE turns clockwise; escapement counts counter-clockwise in tenths of a degree.
    font.escapement = a.textAngle == 0 || a.textAngle == 360 ? 0 : 3600 - 10 * a.textAngle;
    font.orientation = 0;
    font.weight = a.bold == 1 ? 700 : 400;
    font.italic = a.italic != 0;
    font.underline = a.underline != 0;
    font.strikeOut = a.strike != 0;
    font.charSet = 238;
    font.faceName = QString::fromLatin1(FormFontFace(a.font));
    Canvas &c = canvas();
    c.setFont(font);
    c.setTextColor(WindowsColor(a.textColor));
    c.setBrush(CanvasBrush{WindowsColor(m_ground ? a.background : FormWhite), Pattern(a.textTexture)});
}

void FormCanvasDrawer::applyLineAttributes(const FormAttributes &a)
{
    Canvas &c = canvas();
    c.setPen(CanvasPen{Truncated(a.lineThickness * m_scale.fy() / 10000), WindowsColor(a.lineColor),
                       LineStyle(a.lineType)});
    c.setBrush(CanvasBrush{WindowsColor(m_ground ? a.fill : FormWhite), Pattern(a.fillTexture)});
    m_insideFrame = a.lineType == InsideFrame;
}

void FormCanvasDrawer::drawLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2)
{
    Canvas &c = canvas();
    c.moveTo(m_scale.roundX(x1), m_scale.roundY(y1));
    c.lineTo(m_scale.roundX(x2), m_scale.roundY(y2));
}

void FormCanvasDrawer::drawBox(const FormRect &corners, std::int32_t fill)
{
    Canvas &c = canvas();
    if (fill != 1 || !m_ground)
        c.setBrush(CanvasBrush{c.brush().color, BrushStyle::Clear});
    QRect frame = QRect(QPoint(m_scale.roundX(corners.left), m_scale.roundY(corners.top)),
                        QPoint(m_scale.roundX(corners.right), m_scale.roundY(corners.bottom)))
                      .normalized();
    // From corner to corner, as an L line between the same points runs.
    frame.setSize(frame.size() - QSize(1, 1));
    if (m_insideFrame) {
        const int half = c.pen().width / 2;
        frame.adjust(half, half, -half, -half);
    }
    c.rectangle(frame);
}

FormCanvasDrawer::PixelBox FormCanvasDrawer::pixels(const FormRect &box, const FormPadding &padding) const
{
    // Every term truncated on its own.
    return PixelBox{m_scale.truncX(box.left) + m_scale.truncX(padding.left),
                    m_scale.truncY(box.top) + m_scale.truncY(padding.top),
                    m_scale.truncX(box.right) - m_scale.truncX(padding.right),
                    m_scale.truncY(box.bottom) - m_scale.truncY(padding.bottom)};
}

FormTurn FormCanvasDrawer::turned(const PixelBox &box) const
{
    return FormTurn(QRectF(QPointF(box.left, box.top), QPointF(box.right, box.bottom)), m_text.textAngle);
}

void FormCanvasDrawer::place(Placement &at, const FormTurn &turn, int w, int h, int extra, int lines,
                             bool vertically) const
{
    const std::optional<FormJustification> justification = JustificationOf(m_text.just);
    if (!justification)
        return;
    at.dx = Rounded((turn.width() - w - extra) * justification->across);
    if (!vertically)
        return;
    // The block as high as its first line times the number of lines.
    const double free = turn.height() - double(h) * lines * m_text.interline / 100.0;
    at.dy = Rounded(free * justification->down);
}

void FormCanvasDrawer::textOut(const FormTurn &turn, double along, double down, const QByteArray &text)
{
    // The text's cell corner, turned with it: the font's escapement turns the rest.
    const QPointF at = turn.map(along, down);
    canvas().textOut(Rounded(at.x()), Rounded(at.y()), text);
}

void FormCanvasDrawer::beginTextBlock(const FormRect &box, const FormPadding &padding, int count)
{
    m_block = pixels(box, padding);
    m_blockTurn = turned(m_block);
    m_blockLines = count;
    m_lineStep = Truncated(m_text.interline / 100.0L * m_scale.fy() * m_text.textSize / 10000);
    m_at = Placement{};
}

void FormCanvasDrawer::drawSpaced(const QByteArray &text, int spacing)
{
    Canvas &c = canvas();
    qint64 offset = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QByteArray one = text.mid(i, 1);
        textOut(m_blockTurn, double(m_at.dx) + double(offset), m_at.dy, one);
        offset += c.textWidth(one) + spacing;
    }
}

void FormCanvasDrawer::textLine(const QByteArray &win1250, int k)
{
    Canvas &c = canvas();
    const int spacing = m_scale.roundX(m_text.charSpacing);
    const int extra = m_text.charSpacing != 0 ? int(std::clamp<qint64>((win1250.size() - 1) * qint64(spacing),
                                                                        -1'000'000'000, 1'000'000'000))
                                               : 0;
    place(m_at, m_blockTurn, c.textWidth(win1250), c.textHeight(win1250), extra, m_blockLines, k == 1);
    const QRect clip(QPoint(m_block.left, m_block.top), QPoint(m_block.right - 1, m_block.bottom - 1));
    // A box with no room shows nothing of its text.
    if (!win1250.isEmpty() && clip.isValid()) {
        const BackgroundMode mode = c.backgroundMode();
        const QRect clipBefore = c.clipRect();
        c.setBackgroundMode(BackgroundMode::Transparent);
        c.setClipRect(clip);
        if (m_text.charSpacing == 0)
            textOut(m_blockTurn, m_at.dx, m_at.dy, win1250);
        else
            drawSpaced(win1250, spacing);
        c.setClipRect(clipBefore);
        c.setBackgroundMode(mode);
    }
    m_at.dy += m_lineStep;
}

void FormCanvasDrawer::endTextBlock()
{
    m_blockLines = 0;
}

void FormCanvasDrawer::drawNumber(const FormRect &box, const FormPadding &padding, std::int64_t number)
{
    Canvas &c = canvas();
    const PixelBox at = pixels(box, padding);
    const QByteArray digits = QByteArray::number(number);
    const FormTurn turn = turned(at);
    Placement placement;
    place(placement, turn, c.textWidth(digits), c.textHeight(digits), 0, 1, true);
    // Unclipped, over the brush: a solid T_TEXTURE fills the cells with T_BACKGROUND.
    const BackgroundMode mode = c.backgroundMode();
    c.setBackgroundMode(c.brush().style == BrushStyle::Clear ? BackgroundMode::Transparent : BackgroundMode::Opaque);
    textOut(turn, placement.dx, placement.dy, digits + '.');
    c.setBackgroundMode(mode);
}

double FormCanvasDrawer::drawBarcode(const FormRect &box, const FormPadding &padding, const QByteArray &text)
{
    const PixelBox at = pixels(box, padding);
    const FormTurn turn = turned(at);
    TAsBarcode barcode;
    barcode.Assign(m_barcodeDefaults);
    barcode.setTyp(bcCodeEAN13);
    barcode.setAngle(turn.counterClockwise());
    barcode.setChecksum(false);
    // A hundredth of the turned box's length to the module, the bars as long as it is
    // deep; the component keeps its turned bars right of and below (Left, Top), so those
    // are the corner of where the bars go in the box.
    const int modul = FormBarcodeModule(int(std::clamp(turn.width(), -1.0, 1e9)));
    const int height = int(std::min(std::abs(turn.height()), 1e9));
    const QRectF bars = turn.bounds(QRectF(0, 0, 95.0 * std::max(modul, 0), height));
    barcode.setTop(Rounded(bars.top()));
    barcode.setLeft(Rounded(bars.left()));
    barcode.setHeight(height);
    barcode.setModul(modul);
    barcode.setRatio(2.0);
    barcode.setText(QString::fromLatin1(text));
    if (modul < 1) {
        barcode.pattern(); // a text it could not draw fails all the same
        return 0;
    }
    // Past 49 pixels (a box wider than 105 mm at 1200 dpi) the property keeps its old
    // value, and the barcode would shrink to a sliver at the box's left edge.
    barcode.DrawBarcodeAtModul(canvas(), modul);
    return m_metrics.dpiX > 0 ? modul * 25.4 / m_metrics.dpiX : 0;
}

} // namespace ostrevo
