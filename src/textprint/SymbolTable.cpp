#include "textprint/SymbolTable.h"

#include "jobs/Charsets.h"
#include "jobs/DosPath.h"
#include "jobs/Errors.h"
#include "jobs/JobFile.h"

#include <QFileInfo>

namespace ostrevo {

namespace {

// The index before "=": a whole decimal number with an optional sign; leading blanks are
// allowed, as the legacy loader's number conversion allowed them, trailing ones are not.
std::optional<int> SymbolIndex(const QByteArray &text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    const QByteArray number = text.mid(i);
    const qsizetype digitsFrom = number.startsWith('+') || number.startsWith('-') ? 1 : 0;
    if (number.size() == digitsFrom || number.size() > 18)
        return std::nullopt;
    for (qsizetype k = digitsFrom; k < number.size(); ++k) {
        if (number[k] < '0' || number[k] > '9')
            return std::nullopt;
    }
    // Out of int range is simply out of the table's range.
    const qlonglong value = number.toLongLong();
    return value < 0 || value > INT_MAX ? -1 : int(value);
}

QString BadLine(const QString &path, int lineNumber, const QByteArray &index)
{
    return QStringLiteral("%1, wiersz %2: \"%3\" nie jest numerem symbolu 0..%4; wiersz pominięto")
        .arg(path)
        .arg(lineNumber)
        .arg(Cp852ToUnicode(index.left(40)))
        .arg(PrinterSymbolCount - 1);
}

} // namespace

PrinterSymbolTable DefaultPrinterSymbols()
{
    return {
        QByteArrayLiteral("<1/6\">"), QByteArrayLiteral("<1/8\">"), QByteArrayLiteral("<Z80>"),
        QByteArrayLiteral("<Z132>"),  QByteArrayLiteral("<Z160>"),  QByteArrayLiteral("<Z96>"),
        QByteArrayLiteral("<2xG>"),   QByteArrayLiteral("<1xG>"),   QByteArrayLiteral("<Nstr>"),
        QByteArrayLiteral("<Pion>"),  QByteArrayLiteral("<Poz>"),   QByteArrayLiteral("<Mx>"),
        QByteArrayLiteral("<2xH>"),   QByteArrayLiteral("<1xH>"),   QByteArrayLiteral("<_ON>"),
        QByteArrayLiteral("<_OFF>"),  QByteArrayLiteral("<IT+>"),   QByteArrayLiteral("<IT->"),
        QByteArrayLiteral("<SO+>"),   QByteArrayLiteral("<SO->"),   QByteArrayLiteral("<SP+>"),
        QByteArrayLiteral("<SP->"),   QByteArrayLiteral("<SB+>"),   QByteArrayLiteral("<SB->"),
        QByteArrayLiteral("<DX+>"),   QByteArrayLiteral("<DX->"),   QByteArray(),
    };
}

const std::array<QByteArray, 25> &PdfTags()
{
    static const std::array<QByteArray, 25> tags = [] {
        const PrinterSymbolTable defaults = DefaultPrinterSymbols();
        std::array<QByteArray, 25> t;
        for (int i = 0; i < 24; ++i)
            t[i] = defaults[i];
        return t;
    }();
    return tags;
}

QStringList SymbolTable::LoadSymbolDefinitions(const QString &path)
{
    if (!QFileInfo::exists(path))
        return {};
    QStringList problems;
    try {
        LineReader reader(path);
        int lineNumber = 0;
        while (auto line = reader.next()) {
            ++lineNumber;
            const qsizetype eq = line->indexOf('=');
            if (eq < 0)
                continue;
            const QByteArray indexText = line->left(eq);
            const auto index = SymbolIndex(indexText);
            if (!index || *index < 0 || *index >= PrinterSymbolCount) {
                problems.append(BadLine(path, lineNumber, indexText));
                continue;
            }
            PrinterSymbols[*index] = line->mid(eq + 1);
        }
    } catch (const IoError &e) {
        problems.append(e.message());
    }
    return problems;
}

QStringList SymbolTable::loadSiteDefinitions(const QString &programDir)
{
    const QString path = ResolveCaseInsensitive(programDir + QStringLiteral("/DefSym.ovx"));
    if (!QFileInfo(path).isFile())
        return {};
    return LoadSymbolDefinitions(path);
}

} // namespace ostrevo
