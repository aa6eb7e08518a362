#include "ksef/KsefDate.h"

#include <QRegularExpression>

namespace ostrevo {

QDateTime ParseKsefDateTime(const QString &text)
{
    // Qt reads milliseconds at most; the service writes ticks of 100 ns.
    static const QRegularExpression Shape(QStringLiteral(
        "^(\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2})(?:\\.(\\d{1,9}))?(Z|[+-]\\d{2}:\\d{2})?$"));
    const QRegularExpressionMatch match = Shape.match(text.trimmed());
    if (!match.hasMatch())
        return {};
    const QString fraction = (match.captured(2) + QStringLiteral("000")).left(3);
    const QString zone = match.captured(3).isEmpty() ? QStringLiteral("Z") : match.captured(3);
    QDateTime time = QDateTime::fromString(match.captured(1) + u'.' + fraction + zone, Qt::ISODateWithMs);
    return time.isValid() ? time.toUTC() : QDateTime();
}

} // namespace ostrevo
