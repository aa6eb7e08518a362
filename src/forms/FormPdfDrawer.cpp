#include "forms/FormPdfDrawer.h"

#include "devices/TAsBarcode.h"
#include "devices/TpiPDFDocument.h"

#include <QTransform>

#include <algorithm>
#include <cmath>

namespace ostrevo {

namespace {

// About a kilometre: farther than any form reaches, near enough for every PDF reader.
constexpr double Reach = 2.9e6;

double Bounded(double v)
{
    return std::isfinite(v) ? std::clamp(v, -Reach, Reach) : 0.0;
}

void SetColour(std::uint32_t value, void (TpiPDFDocument::*set)(double, double, double), TpiPDFDocument &pdf)
{
    // Windows colour values are 0x00BBGGRR.
    (pdf.*set)((value & 0xFF) / 255.0, ((value >> 8) & 0xFF) / 255.0, ((value >> 16) & 0xFF) / 255.0);
}

// L_TYPE 0..6; 5 and 6 draw solid here, as do numbers outside the table.
const char *DashOf(int lineType)
{
    switch (lineType) {
    case 1: return "[12 4] 0";
    case 2: return "[4 4] 0";
    case 3: return "[16 3 4 3] 0";
    case 4: return "[13 3 2 3 2 3] 0";
    default: return "[ ] 0";
    }
}

// Image pixels to a module: several, so that a viewer that smooths an image it enlarges
// still shows sharp bars. The image is shown at the size the barcode has on the page.
constexpr int PixelsPerModule = 4;
// Rows of the barcode image at most: taller adds nothing a scanner can use.
constexpr int MaxBarcodeRows = 4000;

} // namespace

FormPdfScale::FormPdfScale(const FormPageSize &size, int pageWidth, int pageHeight)
{
    const bool landscape = pageWidth > pageHeight;
    double sx = 210.0 / (size.nominalX(landscape) * size.wsp);
    double sy = 297.0 / (size.nominalY(landscape) * size.wsp);
    if (sx > 1 && sy > 1) {
        sx /= sy;
        sy = 1;
    }
    fx = sx * 100 * pageWidth / 210;
    fy = sy * 100 * pageHeight / 297;
}

FormPdfDrawer::FormPdfDrawer(TpiPDFDocument &document, const TAsBarcode &barcodeDefaults)
    : m_pdf(document), m_barcodeDefaults(barcodeDefaults)
{
}

void FormPdfDrawer::rescale()
{
    m_scale = FormPdfScale(m_size, m_pdf.GetPageWidth(), m_pdf.GetPageHeight());
}

void FormPdfDrawer::beginPage(int, bool landscape, bool)
{
    // The document has begun on its first page; every later form page takes a new one.
    if (m_pages++ > 0)
        m_pdf.NewPage();
    m_pdf.SetDocumentLandscape(landscape ? 1 : 0);
    rescale();
}

void FormPdfDrawer::setPageScale(const FormPageSize &size)
{
    m_size = size;
    rescale();
}

void FormPdfDrawer::applyTextAttributes(const FormAttributes &a)
{
    m_text = a;
    // Unrounded: a PDF font size may be fractional, and whole points made small print up
    // to a fifth smaller than the printer prints it.
    const double size = m_scale.fy * 0.875 * a.textSize / 10000;
    // A point at least: a form's smallest print is still there to be read.
    m_fontSize = std::isfinite(size) ? std::clamp(size, 1.0, 5000.0) : 1.0;
    m_pdf.SetFont(QString::fromLatin1(FormFontFace(a.font)), a.bold == 1, a.italic != 0, a.underline != 0,
                  a.strike != 0, m_fontSize, 238);
    SetColour(a.textColor, &TpiPDFDocument::SetColor, m_pdf);
    m_pdf.Stroke();
}

void FormPdfDrawer::applyLineAttributes(const FormAttributes &a)
{
    m_pdf.SetLineWidth(std::clamp(Bounded(m_scale.y(a.lineThickness)), 0.0, 1000.0));
    SetColour(a.lineColor, &TpiPDFDocument::SetColor, m_pdf);
    m_pdf.SetDash(QString::fromLatin1(DashOf(a.lineType)));
    SetColour(a.lineColor, &TpiPDFDocument::SetStrokeColor, m_pdf);
    SetColour(a.fill, &TpiPDFDocument::SetFillColor, m_pdf);
}

void FormPdfDrawer::drawLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2)
{
    m_pdf.MoveTo(Bounded(m_scale.x(x1)), Bounded(m_scale.y(y1)));
    m_pdf.LineTo(Bounded(m_scale.x(x2)), Bounded(m_scale.y(y2)));
    m_pdf.Stroke();
}

void FormPdfDrawer::drawBox(const FormRect &corners, std::int32_t fill)
{
    m_pdf.Rectangle(Bounded(m_scale.x(corners.left)), Bounded(m_scale.y(corners.top)),
                    Bounded(m_scale.x(corners.right)), Bounded(m_scale.y(corners.bottom)));
    // Only a box asked to be filled is: a frame drawn over labels (a page border drawn
    // last) must not paint them over. The fill is B_FILL whatever the background option.
    if (fill == 1)
        m_pdf.PaintPath();
    else
        m_pdf.Stroke();
}

FormPdfDrawer::Box FormPdfDrawer::inner(const FormRect &box, const FormPadding &padding) const
{
    return Box{Bounded(m_scale.x(box.left) + m_scale.x(padding.left)),
               Bounded(m_scale.y(box.top) + m_scale.y(padding.top)),
               Bounded(m_scale.x(box.right) - m_scale.x(padding.right)),
               Bounded(m_scale.y(box.bottom) - m_scale.y(padding.bottom))};
}

FormTurn FormPdfDrawer::turned(const Box &box) const
{
    return FormTurn(QRectF(QPointF(box.left, box.top), QPointF(box.right, box.bottom)), m_text.textAngle);
}

void FormPdfDrawer::place(Placement &at, const FormTurn &turn, double w, double extra, int lines,
                          bool vertically) const
{
    const std::optional<FormJustification> justification = JustificationOf(m_text.just);
    if (!justification)
        return;
    at.dx = (turn.width() - w - extra) * justification->across;
    if (!vertically)
        return;
    const double h = m_fontSize / 0.875;
    at.dy = (turn.height() - h * lines * m_text.interline / 100.0) * justification->down;
}

void FormPdfDrawer::showText(const FormTurn &turn, double along, double down, const QByteArray &text)
{
    // The document turns the text about its cell's corner, counter-clockwise.
    const QPointF at = turn.map(along, down);
    m_pdf.ShowText(Bounded(at.x()), Bounded(at.y()), turn.counterClockwise(), text);
}

void FormPdfDrawer::beginTextBlock(const FormRect &box, const FormPadding &padding, int count)
{
    m_block = inner(box, padding);
    m_blockTurn = turned(m_block);
    m_blockLines = count;
    m_lineStep = Bounded(m_text.interline / 100.0 * m_scale.fy * m_text.textSize / 10000);
    m_at = Placement{};
}

void FormPdfDrawer::textLine(const QByteArray &win1250, int k)
{
    const double spacing = Bounded(m_scale.x(m_text.charSpacing));
    const double extra = Bounded(double(std::max<qsizetype>(0, win1250.size() - 1)) * spacing);
    place(m_at, m_blockTurn, m_pdf.GetTextWidth(win1250), extra, m_blockLines, k == 1);
    if (!win1250.isEmpty()) {
        if (m_text.charSpacing == 0) {
            showText(m_blockTurn, m_at.dx, m_at.dy, win1250);
        } else {
            double along = 0;
            for (qsizetype i = 0; i < win1250.size(); ++i) {
                const QByteArray one = win1250.mid(i, 1);
                showText(m_blockTurn, Bounded(m_at.dx + along), m_at.dy, one);
                along += m_pdf.GetTextWidth(one) + spacing;
            }
        }
    }
    m_at.dy = Bounded(m_at.dy + m_lineStep);
}

void FormPdfDrawer::endTextBlock()
{
    m_blockLines = 0;
}

void FormPdfDrawer::drawNumber(const FormRect &box, const FormPadding &padding, std::int64_t number)
{
    const Box at = inner(box, padding);
    const QByteArray digits = QByteArray::number(qlonglong(number));
    const FormTurn turn = turned(at);
    Placement placement;
    place(placement, turn, m_pdf.GetTextWidth(digits), 0, 1, true);
    showText(turn, placement.dx, placement.dy, digits + '.');
}

double FormPdfDrawer::drawBarcode(const FormRect &box, const FormPadding &padding, const QByteArray &text)
{
    const FormTurn turn = turned(inner(box, padding));
    const double width = turn.width();
    const double height = std::abs(turn.height());
    // A hundredth of the box to the module, unrounded: the page has no pixels to round to,
    // and a module rounded up to whole points ran the bars past the box.
    const double module = width / 100;

    TAsBarcode barcode;
    barcode.Assign(m_barcodeDefaults);
    barcode.setTyp(bcCodeEAN13);
    barcode.setChecksum(false);
    barcode.setRatio(2.0);
    barcode.setText(QString::fromLatin1(text));
    if (!(module > 0)) {
        barcode.pattern(); // a text it could not draw fails all the same
        return 0;
    }
    const int rows = int(std::clamp(std::round(height * PixelsPerModule / module), 1.0, double(MaxBarcodeRows)));
    const QImage image = RenderBarcodeImage(barcode, PixelsPerModule, rows);
    const double length = double(image.width()) / PixelsPerModule * module;
    const double turn90 = turn.clockwise() / 90;
    if (turn90 == std::floor(turn90)) {
        // A quarter turn is exact in the bitmap, and readers draw an upright image more
        // faithfully than a turned one: poppler thickened a turned image's bars at 150 dpi
        // past what a scanner reads.
        const QImage upright = turn.clockwise() == 0
            ? image
            : image.transformed(QTransform().rotate(turn.clockwise()))
                  .convertToFormat(QImage::Format_Mono, Qt::ThresholdDither | Qt::AvoidDither);
        const QRectF at = turn.bounds(QRectF(0, 0, length, height));
        m_pdf.ShowImage(m_pdf.AddImage(upright, 0), 0, at.height(), at.width(), Bounded(at.left()),
                        Bounded(at.top()));
    } else {
        // The image's first row along the turned box's top edge, from its start.
        const QPointF corner = turn.map(0, 0);
        m_pdf.ShowImage(m_pdf.AddImage(image, 0), turn.counterClockwise(), height, length, Bounded(corner.x()),
                        Bounded(corner.y()));
    }
    // Page units are points of an A4 sheet.
    return module * 25.4 / 72;
}

} // namespace ostrevo
