#pragma once

#include "forms/FormDrawer.h"
#include "forms/FormTurn.h"

namespace ostrevo {

class TAsBarcode;
class TpiPDFDocument;

// The form's scale on a PDF page taken as an A4 sheet: each axis stretched or shrunk to
// fill the page on its own, except that a form smaller than A4 both ways keeps the
// natural scale vertically. A size the form does not give is the sheet's own in the
// page's orientation. Page units per 100 mm of the form.
struct FormPdfScale {
    double fx = 0;
    double fy = 0;
    FormPdfScale() = default;
    FormPdfScale(const FormPageSize &size, int pageWidth, int pageHeight);
    double x(double v) const { return v * fx / 10000; }
    double y(double v) const { return v * fy / 10000; }
};

// Draws form pages into a PDF document in floating point: text attributes as fonts and
// colours, line attributes as widths, dash patterns and colours, text blocks placed by
// T_JUST with character spacing, numbering, and EAN-13 barcodes as images fine enough
// for a scanner; all of them turned inside their boxes by T_ANGLE, clockwise as on the
// printer (FormTurn).
class FormPdfDrawer final : public FormDrawer {
public:
    // The document has begun. `barcodeDefaults` is the settings every barcode starts from.
    FormPdfDrawer(TpiPDFDocument &document, const TAsBarcode &barcodeDefaults);

    void beginPage(int page, bool landscape, bool first) override;
    void setPageScale(const FormPageSize &size) override;
    void applyTextAttributes(const FormAttributes &attributes) override;
    void applyLineAttributes(const FormAttributes &attributes) override;
    void drawLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) override;
    void drawBox(const FormRect &corners, std::int32_t fill) override;
    void beginTextBlock(const FormRect &box, const FormPadding &padding, int count) override;
    void textLine(const QByteArray &win1250, int k) override;
    void endTextBlock() override;
    void drawNumber(const FormRect &box, const FormPadding &padding, std::int64_t number) override;
    double drawBarcode(const FormRect &box, const FormPadding &padding, const QByteArray &text) override;

    const FormPdfScale &scale() const { return m_scale; }

private:
    struct Box {
        double left = 0, top = 0, right = 0, bottom = 0;
    };
    struct Placement {
        double dx = 0, dy = 0;
    };

    Box inner(const FormRect &box, const FormPadding &padding) const;
    FormTurn turned(const Box &box) const;
    void place(Placement &at, const FormTurn &turn, double w, double extra, int lines, bool vertically) const;
    void showText(const FormTurn &turn, double along, double down, const QByteArray &text);
    void rescale();

    TpiPDFDocument &m_pdf;
    const TAsBarcode &m_barcodeDefaults;
    FormPageSize m_size;
    FormPdfScale m_scale;
    FormAttributes m_text;
    double m_fontSize = 1; // of the last text attributes, points
    int m_pages = 0;

    // The text block being drawn.
    Box m_block;
    FormTurn m_blockTurn{QRectF(), 0};
    int m_blockLines = 0;
    double m_lineStep = 0;
    Placement m_at;
};

} // namespace ostrevo
