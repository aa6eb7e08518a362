#include "net/rates/RateApi.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace ostrevo {

namespace {

QByteArray IsoDate(const QDate &date)
{
    return date.toString(Qt::ISODate).toLatin1();
}

std::optional<DailyRecord> ParseTable(const QJsonObject &table, const QList<CurrencyCode> &codes, QString &why)
{
    DailyRecord record;
    const QString no = table.value(QStringLiteral("no")).toString();
    const qsizetype slash = no.indexOf(u'/');
    bool ok = false;
    const int number = slash > 0 ? no.left(slash).toInt(&ok) : 0;
    if (!ok || number < 1) {
        why = QStringLiteral("tabela bez numeru (\"%1\")").arg(no);
        return std::nullopt;
    }
    record.number = QByteArray::number(number);
    record.suffix = no.mid(slash).toLatin1();
    record.date = QDate::fromString(table.value(QStringLiteral("effectiveDate")).toString(), Qt::ISODate);
    if (!record.date.isValid()) {
        why = QStringLiteral("tabela %1 bez daty").arg(no);
        return std::nullopt;
    }
    const QJsonValue rates = table.value(QStringLiteral("rates"));
    if (!rates.isArray()) {
        why = QStringLiteral("tabela %1 bez kursów").arg(no);
        return std::nullopt;
    }
    for (const QJsonValue &item : rates.toArray()) {
        const QJsonObject rate = item.toObject();
        const QByteArray currency = rate.value(QStringLiteral("code")).toString().toLatin1().toUpper();
        const QJsonValue mid = rate.value(QStringLiteral("mid"));
        if (currency.isEmpty() || !mid.isDouble() || !std::isfinite(mid.toDouble())) {
            why = QStringLiteral("tabela %1 z kursem, który nie jest liczbą").arg(no);
            return std::nullopt;
        }
        for (const CurrencyCode &code : codes)
            if (code.currency.toUpper() == currency)
                record.setRate(code.column(), ApiRateText(mid.toDouble(), code.multiplier));
    }
    return record;
}

} // namespace

QByteArray ApiLatestAddress(const QString &base)
{
    return base.toUtf8() + "/api/exchangerates/tables/A/?format=json";
}

QByteArray ApiRangeAddress(const QString &base, const QDate &from, const QDate &to)
{
    return base.toUtf8() + "/api/exchangerates/tables/A/" + IsoDate(from) + "/" + IsoDate(to) + "/?format=json";
}

QList<std::pair<QDate, QDate>> ApiRanges(const QDate &from, const QDate &to, int maxDays)
{
    QList<std::pair<QDate, QDate>> ranges;
    for (QDate start = from; start.isValid() && start <= to; start = start.addDays(maxDays))
        ranges.append({start, std::min(start.addDays(maxDays - 1), to)});
    return ranges;
}

QByteArray ApiRateText(double mid, int multiplier)
{
    // Eight decimals hide the binary fraction of the product (0.029585 * 100); the bank
    // publishes no more than that.
    QByteArray text = QByteArray::number(mid * multiplier, 'f', 8);
    const qsizetype point = text.indexOf('.');
    while (text.size() > point + 5 && text.endsWith('0'))
        text.chop(1);
    text[point] = ',';
    return text;
}

std::optional<QList<DailyRecord>> ParseApiTables(const QByteArray &body, const QList<CurrencyCode> &codes,
                                                 QString &why)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        why = QStringLiteral("odpowiedź nie jest w formacie JSON: %1").arg(error.errorString());
        return std::nullopt;
    }
    if (!document.isArray()) {
        why = QStringLiteral("odpowiedź nie jest listą tabel");
        return std::nullopt;
    }
    QList<DailyRecord> records;
    for (const QJsonValue &item : document.array()) {
        if (!item.isObject()) {
            why = QStringLiteral("odpowiedź nie jest listą tabel");
            return std::nullopt;
        }
        auto record = ParseTable(item.toObject(), codes, why);
        if (!record)
            return std::nullopt;
        records.append(*record);
    }
    return records;
}

} // namespace ostrevo
