#pragma once

#include <QPointF>
#include <QRectF>

namespace ostrevo {

// A box's contents turned by T_ANGLE, clockwise on paper as the printer has always turned
// form text: the box itself is turned about its centre, and a text or barcode is laid out
// in the turned box as it would be in an upright one, so it stays inside the box. A
// quarter turn swaps the box's width and height; at 90 degrees the text starts at the
// box's top right corner and runs down, at 180 at the bottom right running left, at 270
// at the bottom left running up. Both renderers follow this one rule.
class FormTurn {
public:
    // `box` in page units (device pixels or points), y growing downwards.
    FormTurn(const QRectF &box, int angle);

    // Degrees clockwise, 0 to 359.
    double clockwise() const { return m_degrees; }
    // The same counter-clockwise, as PDF and GDI escapement count.
    double counterClockwise() const { return m_degrees == 0 ? 0 : 360 - m_degrees; }
    // The turned box's extent along its text, and across its lines; below 0 when the
    // paddings leave less than nothing.
    double width() const { return m_width; }
    double height() const { return m_height; }
    // The page point of a point (along, down) of the turned box, from its top-left.
    QPointF map(double along, double down) const;
    // The smallest upright rectangle around a rectangle of the turned box.
    QRectF bounds(const QRectF &inTurnedBox) const;

private:
    QPointF m_centre;
    double m_degrees = 0;
    double m_cos = 1;
    double m_sin = 0;
    double m_width = 0;
    double m_height = 0;
};

} // namespace ostrevo
