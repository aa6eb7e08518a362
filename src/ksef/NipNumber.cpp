#include "ksef/NipNumber.h"

namespace ostrevo {

QString NormalisedNip(const QString &text)
{
    QString digits;
    QString t = text.trimmed();
    if (t.startsWith(QStringLiteral("PL"), Qt::CaseInsensitive))
        t = t.mid(2);
    for (const QChar c : t) {
        if (c.isDigit() && c.unicode() < 0x80)
            digits += c;
        else if (c != u'-' && c != u' ')
            return {};
    }
    if (digits.size() != 10)
        return {};
    static constexpr int Weights[9] = {6, 5, 7, 2, 3, 4, 5, 6, 7};
    int sum = 0;
    for (int i = 0; i < 9; ++i)
        sum += Weights[i] * (digits[i].unicode() - u'0');
    const int check = sum % 11;
    // A remainder of 10 is never issued; the schema also refuses a leading zero and "00"
    // after the first digit.
    if (check == 10 || check != digits[9].unicode() - u'0' || digits[0] == u'0'
        || (digits[1] == u'0' && digits[2] == u'0'))
        return {};
    return digits;
}

} // namespace ostrevo
