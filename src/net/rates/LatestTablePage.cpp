#include "net/rates/LatestTablePage.h"

#include <QList>

namespace ostrevo {

namespace {

QByteArray WithoutMarkup(const QByteArray &line)
{
    QByteArray text;
    qsizetype at = 0;
    while (at < line.size()) {
        const qsizetype open = line.indexOf('<', at);
        if (open < 0) {
            text += line.mid(at);
            break;
        }
        text += line.mid(at, open - at);
        const qsizetype close = line.indexOf('>', open);
        if (close < 0)
            break; // an unclosed tag runs to the end of the line
        at = close + 1;
    }
    return text;
}

} // namespace

std::optional<QByteArray> LatestTableHeader(const QByteArray &page)
{
    static const QByteArray Marker = QByteArrayLiteral("<td class=\"nag\">");
    const qsizetype at = page.indexOf(Marker);
    if (at < 0)
        return std::nullopt;
    const qsizetype start = page.lastIndexOf('\n', at) + 1;
    qsizetype end = page.indexOf('\n', at);
    if (end < 0)
        end = page.size();
    QByteArray line = page.mid(start, end - start);
    if (line.endsWith('\r'))
        line.chop(1);
    return WithoutMarkup(line);
}

LatestTable ParseLatestTableHeader(const QByteArray &header)
{
    LatestTable table;
    // Runs of white space separate the words (a tab as well as a space).
    const QList<QByteArray> words = header.simplified().split(' ');
    for (const QByteArray &word : words) {
        if (word.isEmpty())
            continue;
        if (word.contains('/')) {
            const QList<QByteArray> pieces = word.split('/');
            if (pieces.size() == 4) {
                bool ok = false;
                const int number = pieces[0].toInt(&ok);
                table.number = ok ? number : 0;
            }
        }
        if (word.contains('-')) {
            const QList<QByteArray> pieces = word.split('-');
            if (pieces.size() == 3) {
                bool okY = false, okM = false, okD = false;
                const int y = pieces[0].toInt(&okY), m = pieces[1].toInt(&okM), d = pieces[2].toInt(&okD);
                table.date = okY && okM && okD ? QDate(y, m, d) : QDate();
            }
        }
    }
    return table;
}

} // namespace ostrevo
