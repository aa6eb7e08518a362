#include "gui/StatusIcons.h"

#include <QPainter>
#include <QPainterPath>

namespace ostrevo {

QColor StatusColor(int icon)
{
    switch (icon) {
    case 1:
        return QColor(0x2e, 0xa0, 0x43); // running
    case 2:
        return QColor(0xf2, 0xc0, 0x1e); // paused
    case 3:
        return QColor(0xd7, 0x26, 0x26); // error
    default:
        return QColor(0x3a, 0x6e, 0xa5); // the application itself
    }
}

namespace {

// A badge in the lower right corner whose shape tells the state, so that the icons differ
// for those who cannot tell the colours apart: a disc with a play sign (running), a square
// with two bars (paused), a triangle with an exclamation mark (error).
void DrawStatusBadge(QPainter &p, int icon)
{
    const QColor ink(0x26, 0x2b, 0x33);
    // A white rim first: the badge has the colour of the icon's ground, and at 22 px it
    // would fade into it.
    p.setPen(QPen(Qt::white, 3.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    switch (icon) {
    case 1: p.drawEllipse(QPointF(24.5, 24.5), 7, 7); break;
    case 2: p.drawRect(QRectF(17.5, 17.5, 14, 14)); break;
    case 3: {
        const QPointF rim[3] = {{24.5, 16.5}, {32, 31.5}, {17, 31.5}};
        p.drawPolygon(rim, 3);
        break;
    }
    default: break;
    }
    p.setPen(QPen(ink, 1.2));
    p.setBrush(StatusColor(icon));
    switch (icon) {
    case 1: {
        p.drawEllipse(QPointF(24.5, 24.5), 7, 7);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        const QPointF play[3] = {{22, 20.5}, {22, 28.5}, {28.5, 24.5}};
        p.drawPolygon(play, 3);
        break;
    }
    case 2:
        p.drawRect(QRectF(17.5, 17.5, 14, 14));
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawRect(QRectF(21, 20.5, 2.5, 8));
        p.drawRect(QRectF(25.5, 20.5, 2.5, 8));
        break;
    case 3: {
        const QPointF triangle[3] = {{24.5, 16.5}, {32, 31.5}, {17, 31.5}};
        p.drawPolygon(triangle, 3);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(23.5, 21, 2, 6));
        p.drawEllipse(QPointF(24.5, 29.2), 1.1, 1.1);
        break;
    }
    default:
        break;
    }
}

} // namespace

QPixmap DrawPrinterIcon(int icon, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 32-unit grid so that every size looks the same.
    p.scale(size / 32.0, size / 32.0);

    p.setPen(Qt::NoPen);
    p.setBrush(StatusColor(icon));
    p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 6, 6);

    const QColor ink(0x26, 0x2b, 0x33);
    QPen outline(ink, 1.2);
    // Paper going in at the back.
    p.setPen(outline);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(10, 4.5, 12, 9));
    // The printer's body.
    p.setBrush(QColor(0xe4, 0xe7, 0xeb));
    QPainterPath body;
    body.addRoundedRect(QRectF(4.5, 12, 23, 11), 2.5, 2.5);
    p.drawPath(body);
    // Paper coming out at the front, with lines of print.
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9, 18.5, 14, 9.5));
    p.setPen(QPen(ink, 1.0));
    p.drawLine(QPointF(11, 22), QPointF(21, 22));
    p.drawLine(QPointF(11, 25), QPointF(18, 25));
    // Power light in the status colour.
    p.setPen(Qt::NoPen);
    p.setBrush(StatusColor(icon).darker(130));
    p.drawEllipse(QPointF(24, 15.5), 1.4, 1.4);
    DrawStatusBadge(p, icon);
    return pixmap;
}

QIcon PrinterIcon(int icon)
{
    QIcon result;
    for (int size : {16, 22, 24, 32, 48, 64, 128})
        result.addPixmap(DrawPrinterIcon(icon, size));
    return result;
}

} // namespace ostrevo
