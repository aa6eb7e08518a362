#include "net/rates/DailyTable.h"

#include "net/rates/RateXml.h"

#include <QFile>

namespace ostrevo {

namespace {

// The XML file goes whatever happens to its record.
struct RemoveOnExit {
    QString path;
    ~RemoveOnExit() { QFile::remove(path); }
};

} // namespace

QList<QByteArray> DailyFieldNames(const QList<CurrencyCode> &codes)
{
    QList<QByteArray> names{QByteArrayLiteral("W_DATA")};
    for (const CurrencyCode &code : codes)
        names.append(code.column());
    names.append(QByteArrayLiteral("W_NRTABELI"));
    names.append(QByteArrayLiteral("W_F27"));
    return names;
}

std::unique_ptr<DbfTable> CreateRateTable(const QString &tablePath, const QList<CurrencyCode> &codes, QString &why)
{
    if (codes.isEmpty()) {
        why = QStringLiteral("Brak kodów walut dla %1 (waluty.txt nie ma żadnego)").arg(tablePath);
        return nullptr;
    }
    return DbfTable::create(tablePath, DailyFieldNames(codes), RateFieldWidth, why);
}

bool AppendRateRecord(DbfTable &table, const DailyRecord &record, QString &why)
{
    const int count = table.fieldCount();
    QList<QByteArray> values(count, QByteArrayLiteral("-1"));
    values[0] = TableDateText(record.date);
    for (int field = 1; field < count - 2; ++field)
        values[field] = record.rates.value(table.fieldNames()[field].toUpper(), QByteArrayLiteral("-1"));
    values[count - 2] = record.number;
    values[count - 1] = record.suffix;
    if (!table.append(values)) {
        why = table.why();
        return false;
    }
    return true;
}

namespace {

bool RecordFromXml(const QString &xmlPath, DailyRecord &record, QString &why)
{
    QList<RateEntry> entries;
    if (!ParseRateXml(xmlPath, entries)) {
        why = QStringLiteral("Nie można odczytać %1").arg(xmlPath);
        return false;
    }
    if (entries.isEmpty()) {
        why = QStringLiteral("%1 nie zawiera żadnej <pozycja>").arg(xmlPath);
        return false;
    }
    // An entry whose column the table lacks is left out.
    for (const RateEntry &entry : std::as_const(entries))
        if (!entry.code.isEmpty() && !entry.rate.isEmpty())
            record.setRate(entry.column(), entry.rate);
    return true;
}

} // namespace

std::unique_ptr<DbfTable> CreateDailyTable(const QString &xmlPath, const QString &tablePath,
                                           const QList<CurrencyCode> &codes, const QByteArray &number,
                                           const QByteArray &suffix, const QDate &date, QString &why)
{
    const RemoveOnExit xml{xmlPath};
    DailyRecord record{date, number, suffix, {}};
    if (!RecordFromXml(xmlPath, record, why))
        return nullptr;
    std::unique_ptr<DbfTable> table = CreateRateTable(tablePath, codes, why);
    if (!table || !AppendRateRecord(*table, record, why))
        return nullptr;
    return table;
}

int AppendDailyRecord(const QString &xmlPath, DbfTable &table, const QByteArray &number, const QByteArray &suffix,
                      const QDate &date, QString &why)
{
    const RemoveOnExit xml{xmlPath};
    DailyRecord record{date, number, suffix, {}};
    if (!RecordFromXml(xmlPath, record, why) || !AppendRateRecord(table, record, why))
        return 1;
    return 0;
}

} // namespace ostrevo
