#include "net/rates/RateXml.h"

#include <QFile>

namespace ostrevo {

namespace {

QByteArray Between(const QByteArray &text, const QByteArray &open, const QByteArray &close)
{
    const qsizetype start = text.indexOf(open);
    if (start < 0)
        return {};
    const qsizetype from = start + open.size();
    const qsizetype end = text.indexOf(close, from);
    return end < 0 ? QByteArray() : text.mid(from, end - from).trimmed();
}

} // namespace

// Read by its tags, not as XML: a file cut off in transfer still gives its whole entries,
// and the names stay the bank's ISO-8859-2 bytes that go into the dBASE table unchanged.
QList<RateEntry> ParseRateXmlText(const QByteArray &text)
{
    static const QByteArray Open = QByteArrayLiteral("<pozycja>");
    static const QByteArray Close = QByteArrayLiteral("</pozycja>");
    QList<RateEntry> entries;
    qsizetype at = text.indexOf(Open);
    while (at >= 0) {
        const qsizetype from = at + Open.size();
        qsizetype end = text.indexOf(Close, from);
        if (end < 0)
            end = text.size();
        const QByteArray item = text.mid(from, end - from);
        RateEntry entry;
        entry.name = Between(item, "<nazwa_waluty>", "</nazwa_waluty>");
        entry.multiplier = Between(item, "<przelicznik>", "</przelicznik>");
        entry.code = Between(item, "<kod_waluty>", "</kod_waluty>");
        entry.rate = Between(item, "<kurs_sredni>", "</kurs_sredni>");
        entries.append(entry);
        at = text.indexOf(Open, end);
    }
    return entries;
}

bool ParseRateXml(const QString &xmlPath, QList<RateEntry> &entries)
{
    QFile file(xmlPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    entries = ParseRateXmlText(text);
    return true;
}

} // namespace ostrevo
