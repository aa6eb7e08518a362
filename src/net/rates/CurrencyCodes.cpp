#include "net/rates/CurrencyCodes.h"

#include "jobs/JobFile.h"

#include <QFileInfo>

namespace ostrevo {

CurrencyCode CurrencyCode::fromText(const QByteArray &text)
{
    CurrencyCode code;
    code.text = text;
    qsizetype digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
        ++digits;
    bool ok = false;
    const int multiplier = text.left(digits).toInt(&ok);
    code.multiplier = ok && multiplier > 0 ? multiplier : 1;
    code.currency = text.mid(digits);
    return code;
}

QList<CurrencyCode> DefaultCurrencyCodes()
{
    static const char *const Defaults[] = {"1USD", "1AUD", "1HKD", "1CAD", "1EUR", "100HUF", "1CHF",
                                           "1CYP", "1GBP", "1UAH", "100JPY", "1CZK", "1DKK", "1EEK",
                                           "1NOK", "1SKK", "1SEK", "1BGN", "1MTL", "1LTL", "1LVL",
                                           "1RON", "1ZAR", "1RUB", "1XDR"};
    QList<CurrencyCode> codes;
    for (const char *text : Defaults)
        codes.append(CurrencyCode::fromText(text));
    return codes;
}

QList<CurrencyCode> LoadCurrencyCodes(const QStringList &candidates)
{
    for (const QString &path : candidates) {
        if (!QFileInfo(path).isFile())
            continue;
        QList<CurrencyCode> codes;
        bool inSection = false;
        for (const QByteArray &raw : ReadAllLines(path)) {
            const QByteArray line = TrimControl(RemoveComment(raw));
            if (!inSection) {
                inSection = HoldsTag(line, "<WALUTY>");
                continue;
            }
            if (HoldsTag(line, "<END>"))
                inSection = false;
            else if (!line.isEmpty())
                codes.append(CurrencyCode::fromText(line));
        }
        return codes;
    }
    return DefaultCurrencyCodes();
}

} // namespace ostrevo
