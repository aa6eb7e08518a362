#include "fiscal/VatTable.h"

#include "jobs/DosPath.h"
#include "jobs/JobFile.h"

#include <QFileInfo>

namespace ostrevo {

namespace {

// Tokens at runs of spaces (and tabs, which Linux editors put there).
QList<QByteArray> Tokens(const QByteArray &line)
{
    QList<QByteArray> tokens;
    qsizetype i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line.at(i) == ' ' || line.at(i) == '\t'))
            ++i;
        const qsizetype start = i;
        while (i < line.size() && line.at(i) != ' ' && line.at(i) != '\t')
            ++i;
        if (i > start)
            tokens.append(line.mid(start, i - start));
    }
    return tokens;
}

} // namespace

int VatTable::LoadVatTable(const QString &path, const QByteArray &modelName)
{
    m_entries.clear();
    const QString file = ResolveCaseInsensitive(path);
    if (!QFileInfo(file).isFile())
        return FileMissing;
    LineReader reader(file);
    const QByteArray header = '<' + UpperAscii(modelName) + '>';
    bool found = false;
    while (auto line = reader.next()) {
        if (UpperAscii(RemoveComment(*line)).contains(header)) {
            found = true;
            break;
        }
    }
    if (!found)
        return SectionMissing;
    while (auto raw = reader.next()) {
        const QByteArray line = TrimControl(RemoveComment(*raw));
        if (line.isEmpty() || HoldsTag(line, "<END>"))
            break;
        const QList<QByteArray> tokens = Tokens(line);
        if (tokens.first().size() != 1)
            return GroupNotOneCharacter;
        if (tokens.size() >= 2)
            m_entries.append(tokens.at(0) + tokens.at(1));
    }
    return Loaded;
}

char VatTable::FindVatGroup(const QByteArray &rateText) const
{
    const QByteArray rate = TrimControl(rateText);
    for (const QByteArray &entry : m_entries) {
        if (TrimControl(entry.mid(1)) == rate)
            return entry.at(0);
    }
    return ' ';
}

} // namespace ostrevo
