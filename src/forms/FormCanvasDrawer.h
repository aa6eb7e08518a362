#pragma once

#include "devices/Canvas.h"
#include "forms/FormDrawer.h"
#include "forms/FormPrinterScale.h"
#include "forms/FormTurn.h"

namespace ostrevo {

class FormSheets;
class TAsBarcode;

// Draws form pages on a printer's canvas in whole device pixels: text attributes as
// logical fonts, line and fill attributes as pens and brushes, text blocks placed by
// T_JUST and clipped to their boxes, numbering, and EAN-13 barcodes drawn bar by bar;
// all of them turned inside their boxes by T_ANGLE (FormTurn).
class FormCanvasDrawer final : public FormDrawer {
public:
    // `barcodeDefaults` is the settings every barcode starts from. With `ground` off
    // (the option "Drukuj tło formularzy"), fills and text backgrounds stay white.
    FormCanvasDrawer(FormSheets &sheets, const TAsBarcode &barcodeDefaults, bool ground);

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

    const FormPrinterScale &scale() const { return m_scale; }

private:
    // A box's inner rectangle in device pixels, edges as GDI gives them.
    struct PixelBox {
        int left = 0;
        int top = 0;
        int right = 0;
        int bottom = 0;
    };
    // Where T_JUST puts a block of `lines` lines of width w and height h in a box.
    struct Placement {
        int dx = 0;
        int dy = 0;
    };

    PixelBox pixels(const FormRect &box, const FormPadding &padding) const;
    FormTurn turned(const PixelBox &box) const;
    void place(Placement &at, const FormTurn &turn, int w, int h, int extra, int lines, bool vertically) const;
    void textOut(const FormTurn &turn, double along, double down, const QByteArray &text);
    void drawSpaced(const QByteArray &text, int spacing);
    Canvas &canvas();

    FormSheets &m_sheets;
    const TAsBarcode &m_barcodeDefaults;
    bool m_ground;
    DeviceMetrics m_metrics;
    FormPrinterScale m_scale;
    FormPageSize m_size;
    FormAttributes m_text;
    bool m_insideFrame = false; // L_TYPE 6: frames drawn inside their corners

    // The text block being drawn.
    PixelBox m_block;
    FormTurn m_blockTurn{QRectF(), 0};
    int m_blockLines = 0;
    int m_lineStep = 0;
    Placement m_at;
};

} // namespace ostrevo
