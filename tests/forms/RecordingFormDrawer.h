#pragma once

// A FormDrawer that writes down what the reader hands it, one line per call, in the
// hundredths of a millimetre the reader speaks.

#include "forms/FormBarcodeModule.h"
#include "forms/FormDrawer.h"
#include "support/TestSupport.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace ostrevo::test {

class RecordingFormDrawer : public FormDrawer {
public:
    QStringList calls;
    FormAttributes text;  // the last text attributes applied
    FormAttributes lines; // the last line attributes applied
    QList<FormAttributes> textAtLine; // the text attributes in force at each textLine

    static QString rect(const FormRect &r)
    {
        return QStringLiteral("%1,%2,%3,%4").arg(r.left).arg(r.top).arg(r.right).arg(r.bottom);
    }
    static QString pad(const FormPadding &p)
    {
        return QStringLiteral("%1,%2,%3,%4").arg(p.left).arg(p.top).arg(p.right).arg(p.bottom);
    }

    void beginPage(int page, bool landscape, bool first) override
    {
        calls << QStringLiteral("page %1%2%3").arg(page).arg(landscape ? QStringLiteral(" landscape") : QString(),
                                                           first ? QStringLiteral(" first") : QString());
    }
    void setPageScale(const FormPageSize &size) override { scale = size; }
    void applyTextAttributes(const FormAttributes &a) override { text = a; }
    void applyLineAttributes(const FormAttributes &a) override { lines = a; }
    void drawLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) override
    {
        calls << QStringLiteral("L %1,%2,%3,%4").arg(x1).arg(y1).arg(x2).arg(y2);
    }
    void drawBox(const FormRect &corners, std::int32_t fill) override
    {
        calls << QStringLiteral("B %1 fill %2 colour %3").arg(rect(corners)).arg(fill).arg(uint(lines.fill), 6, 16, QChar(u'0'));
    }
    void beginTextBlock(const FormRect &box, const FormPadding &padding, int count) override
    {
        calls << QStringLiteral("T %1 pad %2 count %3").arg(rect(box), pad(padding)).arg(count);
    }
    void textLine(const QByteArray &win1250, int k) override
    {
        calls << QStringLiteral("line %1 [%2]").arg(k).arg(QString::fromLatin1(win1250));
        textAtLine << text;
    }
    void endTextBlock() override { calls << QStringLiteral("end"); }
    void drawNumber(const FormRect &box, const FormPadding &padding, std::int64_t number) override
    {
        calls << QStringLiteral("N %1 pad %2 %3").arg(rect(box), pad(padding)).arg(number);
    }
    double drawBarcode(const FormRect &box, const FormPadding &padding, const QByteArray &code) override
    {
        calls << QStringLiteral("K %1 pad %2 [%3]").arg(rect(box), pad(padding), QString::fromLatin1(code));
        return ScannableBarcodeModuleMm;
    }

    QStringList starting(const QString &prefix) const
    {
        QStringList found;
        for (const QString &call : calls) {
            if (call.startsWith(prefix))
                found << call;
        }
        return found;
    }

    FormPageSize scale;
};

} // namespace ostrevo::test
