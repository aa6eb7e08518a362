#include "handling/RenderReport.h"

#include <algorithm>

namespace ostrevo {

namespace {

constexpr qsizetype LongestWord = 12;

bool Printable(char c)
{
    return c > ' ' && c < 0x7f && c != '<' && c != '>';
}

bool LetterOrDigit(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

QByteArray UpperCase(QByteArray text)
{
    for (char &c : text) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return text;
}

QString Latin(const QByteArray &ascii)
{
    return QString::fromLatin1(ascii);
}

} // namespace

QList<QByteArray> TagLikeWords(const QByteArray &text)
{
    QList<QByteArray> words;
    for (qsizetype at = text.indexOf('<'); at >= 0; at = text.indexOf('<', at + 1)) {
        qsizetype end = at + 1;
        bool meaningful = false;
        while (end < text.size() && end - at - 1 < LongestWord && Printable(text[end])) {
            meaningful = meaningful || LetterOrDigit(text[end]);
            ++end;
        }
        if (end < text.size() && text[end] == '>' && end > at + 1 && meaningful)
            words.append(text.mid(at, end - at + 1));
    }
    return words;
}

RenderReport::Warning &RenderReport::find(Sort sort, const QString &subject, const QString &message)
{
    for (Warning &w : m_warnings) {
        if (w.sort == sort && w.subject == subject)
            return w;
    }
    Warning w;
    w.sort = sort;
    w.subject = subject;
    w.message = message;
    m_warnings.append(w);
    return m_warnings.last();
}

void RenderReport::noteLine(Warning &warning) const
{
    // Lines come in order: one seen already is the last one counted.
    if (m_line <= 0 || warning.lastLine == m_line)
        return;
    warning.lastLine = m_line;
    ++warning.lineCount;
    if (warning.lines.size() < ListedLines)
        warning.lines.append(m_line);
}

void RenderReport::add(Sort sort, const QString &subject, const QString &message)
{
    noteLine(find(sort, subject, message));
}

void RenderReport::text(const QByteArray &win1250)
{
    for (char c : win1250) {
        const auto byte = static_cast<unsigned char>(c);
        if (!m_glyphless[byte])
            continue;
        const QString hex = QStringLiteral("0x") + QString::number(byte, 16).rightJustified(2, u'0').toUpper();
        add(NoGlyph, hex,
            QStringLiteral("bajt %1 nie ma znaku w czcionce wydruku: na papierze wychodzi w jego miejscu pusty prostokąt").arg(hex));
    }
}

void RenderReport::segment(const QByteArray &raw, std::span<const QByteArray> knownSymbols)
{
    for (const QByteArray &word : TagLikeWords(raw)) {
        QString message = QStringLiteral("nieznany symbol %1 wydrukowany jako tekst").arg(Latin(word));
        // Symbols are matched byte for byte: the same word in other letters is a near miss.
        const QByteArray upper = UpperCase(word);
        for (const QByteArray &known : knownSymbols) {
            if (!known.isEmpty() && UpperCase(known) == upper) {
                message += QStringLiteral(" (symbol to %1: wielkość liter ma znaczenie)").arg(Latin(known));
                break;
            }
        }
        add(UnknownSymbol, Latin(word), message);
    }
}

void RenderReport::tooWide(int reached, int columns)
{
    Warning &w = find(TooWide, QString::number(columns), {});
    w.extent = std::max(w.extent, reached);
    w.message = QStringLiteral("tekst wychodzi poza stronę przy %1 kolumnach (sięga %2. kolumny)")
                    .arg(columns)
                    .arg(w.extent);
    noteLine(w);
}

void RenderReport::unknownKey(const QByteArray &key, const QString &where)
{
    add(UnknownKey, Latin(key), QStringLiteral("nieznany klucz %1 w %2: pominięty").arg(Latin(key), where));
}

void RenderReport::notFound(const QString &what, const QString &message)
{
    add(NotFound, what, message);
}

QStringList RenderReport::lines() const
{
    QStringList out;
    for (const Warning &w : m_warnings) {
        if (w.lines.isEmpty()) {
            out.append(w.message);
            continue;
        }
        QStringList numbers;
        for (int line : w.lines)
            numbers.append(QString::number(line));
        QString where = (w.lineCount == 1 ? QStringLiteral("wiersz ") : QStringLiteral("wiersze "))
            + numbers.join(QStringLiteral(", "));
        if (w.lineCount > w.lines.size())
            where += QStringLiteral(" i dalsze (razem %1)").arg(w.lineCount);
        out.append(where + QStringLiteral(": ") + w.message);
    }
    return out;
}

} // namespace ostrevo
