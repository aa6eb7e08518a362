#pragma once

// A form page of texts and barcodes turned by T_ANGLE 90, 180 and 270, and what a reader
// must find of it on paper, whichever renderer drew it: each text and barcode inside its
// box, starting at the corner its turn gives it, the barcodes read as written.

#include "support/BarcodeReader.h"
#include "support/PdfPixels.h"
#include "support/PdfTools.h"

#include <QList>
#include <QRectF>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>

namespace ostrevo::test {

struct TurnedItem {
    int angle;
    QRectF mm; // the box on the form, millimetres
    const char *value;
    bool barcode;
};

// Texts 6 mm high; quarter-turned boxes stand tall, the 180-degree ones lie wide.
inline const QList<TurnedItem> &TurnedItems()
{
    static const QList<TurnedItem> items{
        {90, QRectF(QPointF(20, 20), QPointF(32, 80)), "NADOL", false},
        {180, QRectF(QPointF(50, 20), QPointF(110, 32)), "ODWROT", false},
        {270, QRectF(QPointF(130, 20), QPointF(142, 80)), "WGORE", false},
        {90, QRectF(QPointF(20, 110), QPointF(50, 170)), "5901234123457", true},
        {180, QRectF(QPointF(70, 110), QPointF(130, 140)), "4006381333931", true},
        {270, QRectF(QPointF(150, 110), QPointF(180, 170)), "9780201379624", true},
    };
    return items;
}

// The template's page 1 (after the page size lines `size`) and the job's.
inline QList<QByteArray> TurnedTemplate(const QList<QByteArray> &size)
{
    QList<QByteArray> lines{"<PARAMETERS>", "<END>", "<PAGE1>"};
    lines += size;
    int n = 0;
    for (const TurnedItem &item : TurnedItems()) {
        const QRectF &r = item.mm;
        lines += QStringLiteral("BX(%1,%2,%3,%4,%5)")
                     .arg(++n)
                     .arg(r.left())
                     .arg(r.top())
                     .arg(r.right())
                     .arg(r.bottom())
                     .toLatin1();
    }
    lines += "<END>";
    return lines;
}

inline QList<QByteArray> TurnedJobPage()
{
    QList<QByteArray> lines{"<PAGE1>", "T_SIZE=600"};
    int n = 0;
    for (const TurnedItem &item : TurnedItems()) {
        const QByteArray box = QByteArray::number(++n);
        lines += "T_ANGLE=" + QByteArray::number(item.angle);
        lines += item.barcode ? "K(" + box + ")" : "T1(" + box + ",1)";
        lines += item.value;
    }
    lines += "<END>";
    return lines;
}

// Checks page 1 of `pdf`, where `pointsOf` places a rectangle of the form in points.
inline void ExpectTurnedInsideTheirBoxes(const QString &pdf, const std::function<QRectF(const QRectF &)> &pointsOf)
{
    const QList<PdfWord> words = PdfWords(pdf, 1);
    for (int dpi : {150, 300}) {
        QStringList codes = DecodeEan13InPdf(pdf, 1, dpi);
        codes.sort();
        EXPECT_EQ(codes, QStringList({QStringLiteral("4006381333931"), QStringLiteral("5901234123457"),
                                      QStringLiteral("9780201379624")}))
            << dpi << " dpi";
    }
    const int dpi = 150;
    const double perMm = dpi / 25.4;
    const QImage page = RenderedPdfPage(pdf, 1, dpi);
    ASSERT_FALSE(page.isNull());
    for (const TurnedItem &item : TurnedItems()) {
        const QString what = QStringLiteral("%1 at %2").arg(QString::fromLatin1(item.value)).arg(item.angle);
        const QRectF box = pointsOf(item.mm);
        if (!item.barcode) {
            const QRectF word = WordNamed(words, QString::fromLatin1(item.value)).box;
            EXPECT_TRUE(box.adjusted(-0.5, -0.5, 0.5, 0.5).contains(word)) << what.toStdString();
        }
        // Ink only inside the box, none in the 8 mm around it.
        const QRect pixels = PixelsOfPoints(box, dpi);
        const QRect ink = DarkArea(page, PixelsOfPoints(box.adjusted(-22, -22, 22, 22), dpi));
        ASSERT_TRUE(ink.isValid()) << what.toStdString() << ": nothing on paper";
        EXPECT_TRUE(pixels.adjusted(-2, -2, 2, 2).contains(ink)) << what.toStdString();
        // From the turned box's top-left corner: its top edge and the edge it starts from.
        const double fromLeft = (ink.left() - pixels.left()) / perMm;
        const double fromRight = (pixels.right() - ink.right()) / perMm;
        const double fromTop = (ink.top() - pixels.top()) / perMm;
        const double fromBottom = (pixels.bottom() - ink.bottom()) / perMm;
        double start = 0, head = 0, end = 0;
        switch (item.angle) {
        case 90: start = fromTop, head = fromRight, end = fromBottom; break;
        case 180: start = fromRight, head = fromBottom, end = fromLeft; break;
        default: start = fromBottom, head = fromLeft, end = fromTop; break;
        }
        EXPECT_LT(start, 1.0) << what.toStdString();
        EXPECT_LT(head, 2.0) << what.toStdString();
        if (item.barcode) {
            // 95 of the turned box's hundredths long, as deep as the box.
            const double length = item.angle == 180 ? item.mm.width() : item.mm.height();
            EXPECT_NEAR(end, 0.05 * length, 1.0) << what.toStdString();
            EXPECT_LT(head + (item.angle == 180 ? fromTop : item.angle == 90 ? fromLeft : fromRight), 1.0)
                << what.toStdString();
        } else {
            EXPECT_GT(end, 20.0) << what.toStdString();
        }
    }
}

} // namespace ostrevo::test
