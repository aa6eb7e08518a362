#include "devices/TAsBarcode.h"

#include "devices/QPainterCanvas.h"
#include "jobs/Rounding.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ostrevo {

namespace {

const QString ClassName = QStringLiteral("TAsBarcode");
const QString NotNumeric = QStringLiteral("Barcode must be numeric");
const QString BadEan13Length = QStringLiteral("Invalid Text len (EAN13)");

// EAN-13 digit codes as run widths in modules (ISO/IEC 15420, table 1): the odd-parity
// set A (L) starts with a space; set C (R) has the same runs starting with a bar; set B
// (G) is set C read backwards, starting with a space.
constexpr char LRuns[10][5] = {"3211", "2221", "2122", "1411", "1132", "1231", "1114", "1312", "1213", "3112"};

// Which set each of the digits 2 to 7 takes, by the first digit: 'A' odd, 'B' even.
constexpr char LeftParity[10][7] = {"AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB",
                                    "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA"};

// A run of `modules` as a pattern character: spaces "0".."3", bars "5".."8".
char Element(bool bar, char modules)
{
    return char((bar ? '5' : '0') + (modules - '1'));
}

void AppendDigit(QByteArray &pattern, int digit, char set)
{
    const char *runs = LRuns[digit];
    for (int i = 0; i < 4; ++i) {
        const bool bar = (set == 'C') == (i % 2 == 0);
        pattern.append(Element(bar, set == 'B' ? runs[3 - i] : runs[i]));
    }
}

bool IsBlankOrControl(QChar c)
{
    return c.unicode() <= u' ';
}

QString Trimmed(const QString &text)
{
    qsizetype first = 0, last = text.size();
    while (first < last && IsBlankOrControl(text[first]))
        ++first;
    while (last > first && IsBlankOrControl(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

} // namespace

QString BarcodeFailureText(const QString &componentMessage)
{
    if (componentMessage == NotNumeric)
        return QStringLiteral("kod może zawierać tylko cyfry (%1)").arg(componentMessage);
    if (componentMessage == BadEan13Length)
        return QStringLiteral("kod EAN-13 ma 13 cyfr, 12 bez cyfry kontrolnej (%1)").arg(componentMessage);
    return QStringLiteral("rodzaj kodu nie jest obsługiwany (%1)").arg(componentMessage);
}

template <typename T>
void TAsBarcode::store(T &field, const T &value)
{
    if (field == value)
        return;
    field = value;
    changed();
}

void TAsBarcode::changed()
{
    if (OnChange)
        OnChange();
}

void TAsBarcode::Assign(const TAsBarcode &source)
{
    m_height = source.m_height;
    m_text = source.m_text;
    m_top = source.m_top;
    m_left = source.m_left;
    m_modul = source.m_modul;
    m_ratio = source.m_ratio;
    m_typ = source.m_typ;
    m_checksum = source.m_checksum;
    m_showText = source.m_showText;
    m_showTextPosition = source.m_showTextPosition;
    m_angle = source.m_angle;
    m_color = source.m_color;
    m_colorBar = source.m_colorBar;
    m_checkSumMethod = source.m_checkSumMethod;
    OnChange = source.OnChange;
}

void TAsBarcode::setHeight(int value) { store(m_height, value); }
void TAsBarcode::setText(const QString &value) { store(m_text, value); }
void TAsBarcode::setTop(int value) { store(m_top, value); }
void TAsBarcode::setLeft(int value) { store(m_left, value); }
void TAsBarcode::setRatio(double value) { store(m_ratio, value); }
void TAsBarcode::setTyp(TBarcodeType value) { store(m_typ, value); }
void TAsBarcode::setChecksum(bool value) { store(m_checksum, value); }
void TAsBarcode::setCheckSumMethod(TCheckSumMethod value) { store(m_checkSumMethod, value); }
void TAsBarcode::setShowText(TBarcodeOption value) { store(m_showText, value); }
void TAsBarcode::setShowTextPosition(TShowTextPosition value) { store(m_showTextPosition, value); }
void TAsBarcode::setAngle(double value) { store(m_angle, value); }
void TAsBarcode::setColor(const QColor &value) { store(m_color, value); }
void TAsBarcode::setColorBar(const QColor &value) { store(m_colorBar, value); }

void TAsBarcode::setModul(int value)
{
    if (value >= 1 && value <= 49)
        store(m_modul, value);
}

void TAsBarcode::prepare()
{
    if (m_typ > bcCodeEAN128C)
        throw BarcodeError(QStringLiteral("%1: wrong BarcodeType").arg(ClassName));
    if (m_typ == bcCodeEAN13) {
        if (m_ratio < 2.0)
            setRatio(2.0);
        if (m_ratio > 3.0)
            setRatio(3.0);
    }
    m_widths[0] = m_modul;
    m_widths[1] = RoundHalfEven(m_modul * m_ratio);
    m_widths[2] = m_widths[1] * 3 / 2;
    m_widths[3] = m_widths[1] * 2;
    if (m_typ != bcCodeEAN13)
        throw BarcodeError(QStringLiteral("%1: symbology %2 is not supported").arg(ClassName).arg(int(m_typ)));
    setText(Trimmed(m_text));
    for (QChar c : std::as_const(m_text))
        if (c < u'0' || c > u'9')
            throw BarcodeError(NotNumeric);
}

int TAsBarcode::CheckDigitModulo10(const QString &digits)
{
    int sum = 0;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        const int distance = int(digits.size() - i); // the rightmost digit has distance 1
        sum += (digits[i].unicode() - u'0') * (distance % 2 == 1 ? 3 : 1);
    }
    const int c = sum % 10;
    return c == 0 ? 0 : 10 - c;
}

QByteArray TAsBarcode::encodeEan13()
{
    QString digits = m_text;
    if (m_checksum) {
        digits = digits.rightJustified(12, u'0');
        digits.append(QChar(u'0' + CheckDigitModulo10(digits)));
    } else {
        digits = digits.rightJustified(13, u'0');
    }
    if (digits.size() != 13)
        throw BarcodeError(BadEan13Length);
    const auto digit = [&](int i) { return digits[i].unicode() - u'0'; };
    const char *parity = LeftParity[digit(0)];
    QByteArray pattern;
    pattern.reserve(59);
    pattern.append("505");
    for (int i = 1; i <= 6; ++i)
        AppendDigit(pattern, digit(i), parity[i - 1]);
    pattern.append("05050");
    for (int i = 7; i <= 12; ++i)
        AppendDigit(pattern, digit(i), 'C');
    pattern.append("505");
    return pattern;
}

QByteArray TAsBarcode::pattern()
{
    prepare();
    return encodeEan13();
}

int TAsBarcode::elementWidth(char element) const
{
    if (element >= '0' && element <= '3')
        return m_widths[element - '0'];
    if (element >= '5' && element <= '8')
        return m_widths[element - '5'];
    if (element >= 'A' && element <= 'D')
        return m_widths[element - 'A'];
    throw BarcodeError(QStringLiteral("%1: internal Error").arg(ClassName));
}

int TAsBarcode::Width()
{
    const QByteArray elements = pattern();
    int width = 0;
    for (char e : elements)
        width += elementWidth(e);
    return width;
}

void TAsBarcode::setWidth(int value)
{
    const int current = Width();
    if (current > 0)
        setModul(m_modul * value / current);
}

namespace {

// Keeps a canvas's font, pen and brush across a drawing.
class CanvasState {
public:
    explicit CanvasState(Canvas &canvas)
        : m_canvas(canvas), m_font(canvas.font()), m_pen(canvas.pen()), m_brush(canvas.brush())
    {
    }
    ~CanvasState()
    {
        m_canvas.setFont(m_font);
        m_canvas.setPen(m_pen);
        m_canvas.setBrush(m_brush);
    }
    CanvasState(const CanvasState &) = delete;
    CanvasState &operator=(const CanvasState &) = delete;

private:
    Canvas &m_canvas;
    LogFont m_font;
    CanvasPen m_pen;
    CanvasBrush m_brush;
};

} // namespace

void TAsBarcode::DrawBarcode(Canvas &canvas)
{
    const QByteArray elements = pattern();
    int w = 0;
    for (char e : elements)
        w += elementWidth(e);
    const double width = w, height = m_height;
    const double a = m_angle * std::numbers::pi / 180.0;
    const double s = std::sin(a), c = std::cos(a);

    // The rotated box stays right of and below (Left, Top).
    QPoint origin(m_left, m_top);
    if (s >= 0 && c >= 0)
        origin += QPoint(0, RoundHalfEven(s * width));
    else if (s >= 0)
        origin += QPoint(-RoundHalfEven(c * width), RoundHalfEven(s * width - c * height));
    else if (c >= 0)
        origin += QPoint(-RoundHalfEven(s * height), 0);
    else
        origin += QPoint(-RoundHalfEven(c * width) - RoundHalfEven(s * height), -RoundHalfEven(c * height));
    const auto map = [&](int px, int py) {
        return origin + QPoint(RoundHalfEven(c * px + s * py), RoundHalfEven(-s * px + c * py));
    };

    CanvasState keep(canvas);
    int x = 0;
    for (char e : elements) {
        const int ew = elementWidth(e);
        const bool space = e >= '0' && e <= '3';
        const bool shortBar = e >= 'A' && e <= 'D';
        const QColor color = space ? m_color : m_colorBar;
        canvas.setPen(CanvasPen{1, color, PenStyle::Solid});
        canvas.setBrush(CanvasBrush{color, BrushStyle::Solid});
        const int h = shortBar ? m_height * 2 / 5 : m_height;
        QPolygon corners;
        corners << map(x, 0) << map(x, h) << map(x + ew - 1, h) << map(x + ew - 1, 0);
        canvas.polygon(corners);
        x += ew;
    }
}

void TAsBarcode::DrawBarcodeAtModul(Canvas &canvas, int modul)
{
    const int property = m_modul;
    m_modul = std::max(1, modul);
    try {
        DrawBarcode(canvas);
    } catch (...) {
        m_modul = property;
        throw;
    }
    m_modul = property;
}

QImage RenderBarcodeImage(const TAsBarcode &settings, int pixelsPerModule, int height)
{
    TAsBarcode barcode;
    barcode.Assign(settings);
    barcode.OnChange = nullptr;
    barcode.setModul(pixelsPerModule);
    barcode.setAngle(0);
    barcode.setLeft(0);
    barcode.setTop(0);
    // The bars reach down to row Height inclusive, as on a printer.
    barcode.setHeight(std::max(0, height - 1));
    const int width = barcode.Width();
    QImage image(std::max(1, width), std::max(1, height), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QPainterCanvas canvas;
    canvas.attach(&painter);
    barcode.DrawBarcode(canvas);
    canvas.detach();
    painter.end();
    // One bit a pixel: bars are black or white, and a tall barcode in 32 bits a pixel took
    // megabytes each.
    return image.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither | Qt::AvoidDither);
}

} // namespace ostrevo
