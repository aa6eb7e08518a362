#pragma once

#include "devices/Canvas.h"
#include "jobs/Errors.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

namespace ostrevo {

// A text the barcode cannot encode, or a symbology it does not know.
class BarcodeError : public JobError {
public:
    using JobError::JobError;
};

// The user's words for a BarcodeError's message, with the component's own after them.
QString BarcodeFailureText(const QString &componentMessage);

enum TBarcodeType : std::uint8_t {
    bcCode_2_5_interleaved,
    bcCode_2_5_industrial,
    bcCode_2_5_matrix,
    bcCode39,
    bcCode39Extended,
    bcCode128A,
    bcCode128B,
    bcCode128C,
    bcCode93,
    bcCode93Extended,
    bcCodeMSI,
    bcCodePostNet,
    bcCodeCodabar,
    bcCodeEAN8,
    bcCodeEAN13,
    bcCodeUPC_A,
    bcCodeUPC_E0,
    bcCodeUPC_E1,
    bcCodeUPC_Supp2,
    bcCodeUPC_Supp5,
    bcCodeEAN128A,
    bcCodeEAN128B,
    bcCodeEAN128C,
};

enum TCheckSumMethod : std::uint8_t { csmNone, csmModulo10 };
enum TBarcodeOption : std::uint8_t { bcoNone, bcoCode, bcoTyp, bcoBoth };
enum TShowTextPosition : std::uint8_t {
    stpTopLeft,
    stpTopRight,
    stpTopCenter,
    stpBottomLeft,
    stpBottomRight,
    stpBottomCenter,
};

// A barcode turned into bars and spaces and painted as filled polygons on a canvas,
// optionally rotated. Only EAN-13 is encoded (the forms' one symbology), without the
// human-readable line.
//
// The encoded pattern is a string over "0".."3" (a space of width class 0..3), "5".."8"
// (a full-height bar) and "A".."D" (a bar of two fifths of the height).
class TAsBarcode {
public:
    // Copies every setting but the font of the human-readable line.
    void Assign(const TAsBarcode &source);

    int Height() const { return m_height; }
    void setHeight(int value);
    const QString &Text() const { return m_text; }
    void setText(const QString &value);
    int Top() const { return m_top; }
    void setTop(int value);
    int Left() const { return m_left; }
    void setLeft(int value);
    // The narrowest element in pixels, 1 to 49; other values are ignored.
    int Modul() const { return m_modul; }
    void setModul(int value);
    double Ratio() const { return m_ratio; }
    void setRatio(double value);
    TBarcodeType Typ() const { return m_typ; }
    void setTyp(TBarcodeType value);
    bool Checksum() const { return m_checksum; }
    void setChecksum(bool value);
    TCheckSumMethod CheckSumMethod() const { return m_checkSumMethod; }
    void setCheckSumMethod(TCheckSumMethod value);
    TBarcodeOption ShowText() const { return m_showText; }
    void setShowText(TBarcodeOption value);
    TShowTextPosition ShowTextPosition() const { return m_showTextPosition; }
    void setShowTextPosition(TShowTextPosition value);
    // Degrees, counter-clockwise on the page.
    double Angle() const { return m_angle; }
    void setAngle(double value);
    QColor Color() const { return m_color; }
    void setColor(const QColor &value);
    QColor ColorBar() const { return m_colorBar; }
    void setColorBar(const QColor &value);
    const LogFont &ShowTextFont() const { return m_showTextFont; }
    void setShowTextFont(const LogFont &font) { m_showTextFont = font; }

    // Called after every change of a setting's value.
    std::function<void()> OnChange;

    // The sum of the element widths, in pixels. Throws BarcodeError as the encoding does.
    int Width();
    // Scales Modul so that the barcode becomes about `value` pixels wide.
    void setWidth(int value);

    // The encoded pattern of the text (trimmed first, and the trimmed text kept). Throws
    // BarcodeError "Barcode must be numeric" or "Invalid Text len (EAN13)".
    QByteArray pattern();

    // Paints the barcode with its bounding box's top-left corner at (Left, Top). The
    // canvas keeps its font, pen and brush.
    void DrawBarcode(Canvas &canvas);
    // The same with `modul` pixels to the narrowest element, past the property's 49 too:
    // on a fine printer a wide box holds more pixels a module than that. Modul stays.
    void DrawBarcodeAtModul(Canvas &canvas, int modul);

    // The check digit of modulo 10 over `digits`: weight 3 for the rightmost and every
    // second one before it.
    static int CheckDigitModulo10(const QString &digits);

private:
    void prepare();
    QByteArray encodeEan13();
    int elementWidth(char element) const;
    void changed();
    template <typename T>
    void store(T &field, const T &value);

    int m_height = 0;
    QString m_text;
    int m_top = 0;
    int m_left = 0;
    int m_modul = 1;
    double m_ratio = 2.0;
    TBarcodeType m_typ = bcCodeEAN13;
    bool m_checksum = false;
    TCheckSumMethod m_checkSumMethod = csmModulo10;
    TBarcodeOption m_showText = bcoNone;
    double m_angle = 0.0;
    QColor m_color = Qt::white;
    QColor m_colorBar = Qt::black;
    TShowTextPosition m_showTextPosition = stpTopLeft;
    LogFont m_showTextFont;
    // Width classes 0..3 in pixels. Ints rather than 8 bits: Modul 49 at Ratio 3 makes a
    // class-3 element 294 pixels wide.
    std::array<int, 4> m_widths{1, 2, 3, 4};
};

// The barcode of `settings` unrotated, at `pixelsPerModule` image pixels per module and
// `height` pixels high, bars black on white: an image exactly as wide as the barcode,
// for a device that places images rather than drawing polygons. Throws BarcodeError.
QImage RenderBarcodeImage(const TAsBarcode &settings, int pixelsPerModule, int height);

} // namespace ostrevo
