#include "ksef/KsefNumber.h"

#include <QRegularExpression>

namespace ostrevo {

quint8 KsefCrc8(const QByteArray &bytes)
{
    quint8 crc = 0;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80) ? quint8((crc << 1) ^ 0x07) : quint8(crc << 1);
    }
    return crc;
}

bool IsKsefNumber(const QString &text)
{
    static const QRegularExpression Shape(QStringLiteral("^[1-9][0-9]{9}-[0-9]{8}-[0-9A-F]{12}-[0-9A-F]{2}$"));
    if (!Shape.match(text).hasMatch())
        return false;
    const QByteArray bytes = text.toLatin1();
    return QByteArray::number(KsefCrc8(bytes.left(32)), 16).rightJustified(2, '0').toUpper() == bytes.mid(33);
}

} // namespace ostrevo
