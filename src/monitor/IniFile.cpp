#include "monitor/IniFile.h"

#include "jobs/Charsets.h"
#include "jobs/Errors.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>

namespace ostrevo {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray TrimBlanks(const QByteArray &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text.at(begin)))
        ++begin;
    while (end > begin && IsBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

bool SameName(const QByteArray &a, const QByteArray &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool Quoted(const QByteArray &v)
{
    return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}

QByteArray ParseValue(const QByteArray &raw)
{
    const qsizetype eq = raw.indexOf('=');
    QByteArray v = TrimBlanks(raw.mid(eq + 1));
    if (Quoted(v))
        v = v.mid(1, v.size() - 2);
    return v;
}

// "[name]" (blanks allowed around) gives the name; nothing for other lines.
std::optional<QByteArray> SectionName(const QByteArray &line)
{
    const QByteArray t = TrimBlanks(line);
    if (!t.startsWith('['))
        return std::nullopt;
    const qsizetype close = t.indexOf(']');
    return TrimBlanks(t.mid(1, close < 0 ? -1 : close - 1));
}

QByteArray KeyOf(const QByteArray &line)
{
    const QByteArray t = TrimBlanks(line);
    if (t.startsWith(';'))
        return {};
    const qsizetype eq = t.indexOf('=');
    return eq <= 0 ? QByteArray() : TrimBlanks(t.left(eq));
}

QByteArray EncodeValue(QByteArray v)
{
    for (char &c : v) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    if (!v.isEmpty() && (IsBlank(v.front()) || IsBlank(v.back()) || Quoted(v)))
        return '"' + v + '"';
    return v;
}

const QByteArray Utf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");

bool IsPlainAscii(const QByteArray &bytes)
{
    return std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x80; });
}

bool IsValidUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

} // namespace

// Lines end at CR LF, LF or a lone CR, as the Windows profile functions read them.
IniFile IniFile::fromBytes(const QByteArray &input)
{
    IniFile ini;
    QByteArray bytes = input;
    if (bytes.startsWith(Utf8Bom)) {
        ini.m_byteOrderMark = true;
        bytes.remove(0, Utf8Bom.size());
    }
    if (ini.m_byteOrderMark || (!IsPlainAscii(bytes) && IsValidUtf8(bytes)))
        ini.m_encoding = Encoding::Utf8;
    bool firstEnd = true;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        const QByteArray line = bytes.mid(start, end - start);
        qsizetype endSize = end < bytes.size() ? 1 : 0;
        if (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n')
            endSize = 2;
        const QByteArray lineEnd = bytes.mid(end, endSize);
        if (firstEnd && !lineEnd.isEmpty()) {
            ini.m_lineEnd = lineEnd;
            firstEnd = false;
        }
        start = end + endSize;
        if (auto name = SectionName(line))
            ini.m_sections.append(Section{*name, {Line{line, {}, lineEnd}}});
        else
            ini.m_sections.last().lines.append(Line{line, KeyOf(line), lineEnd});
    }
    return ini;
}

QByteArray IniFile::toBytes() const
{
    QByteArray out;
    if (m_byteOrderMark)
        out += Utf8Bom;
    for (const Section &section : m_sections) {
        for (const Line &line : section.lines)
            out += line.raw + (line.end.isEmpty() ? m_lineEnd : line.end);
    }
    return out;
}

IniFile IniFile::load(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        throw IoError(QStringLiteral("Nie można odczytać pliku %1: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw IoError(QStringLiteral("Błąd odczytu pliku %1: %2").arg(path, file.errorString()));
    return fromBytes(bytes);
}

void IniFile::save(const QString &path) const
{
    QSaveFile file(path);
    auto fail = [&path, &file] {
        return IoError(QStringLiteral("Nie można zapisać pliku %1: %2").arg(path, file.errorString()));
    };
    if (!file.open(QIODevice::WriteOnly))
        throw fail();
    // The file holds the SMTP password: owner only, also when it existed with more.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray bytes = toBytes();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        throw fail();
    }
    if (!file.commit())
        throw fail();
}

IniFile::Section *IniFile::findSection(const QByteArray &name)
{
    for (qsizetype i = 1; i < m_sections.size(); ++i) {
        if (SameName(m_sections[i].name, name))
            return &m_sections[i];
    }
    return nullptr;
}

const IniFile::Section *IniFile::findSection(const QByteArray &name) const
{
    return const_cast<IniFile *>(this)->findSection(name);
}

std::optional<QByteArray> IniFile::value(const QByteArray &section, const QByteArray &key) const
{
    if (const Section *s = findSection(section)) {
        for (const Line &line : s->lines) {
            if (!line.key.isEmpty() && SameName(line.key, key))
                return ParseValue(line.raw);
        }
    }
    return std::nullopt;
}

QByteArray IniFile::value(const QByteArray &section, const QByteArray &key, const QByteArray &fallback) const
{
    return value(section, key).value_or(fallback);
}

void IniFile::setValue(const QByteArray &section, const QByteArray &key, const QByteArray &value)
{
    Section *s = findSection(section);
    if (!s) {
        m_sections.append(Section{section, {Line{'[' + section + ']', {}}}});
        s = &m_sections.last();
    }
    for (Line &line : s->lines) {
        if (!line.key.isEmpty() && SameName(line.key, key)) {
            // A value that stays the same keeps its line as it was typed.
            if (ParseValue(line.raw) != value)
                line.raw = line.key + '=' + EncodeValue(value);
            return;
        }
    }
    // After the last non-blank line, so that a blank line before the next section stays.
    qsizetype at = s->lines.size();
    while (at > 1 && TrimBlanks(s->lines[at - 1].raw).isEmpty())
        --at;
    s->lines.insert(at, Line{key + '=' + EncodeValue(value), key});
}

void IniFile::removeKey(const QByteArray &section, const QByteArray &key)
{
    if (Section *s = findSection(section)) {
        s->lines.removeIf([&key](const Line &line) { return !line.key.isEmpty() && SameName(line.key, key); });
    }
}

QString IniFile::string(const QByteArray &section, const QByteArray &key, const QString &fallback) const
{
    const auto v = value(section, key);
    if (!v)
        return fallback;
    return m_encoding == Encoding::Utf8 ? QString::fromUtf8(*v) : Win1250ToUnicode(*v);
}

void IniFile::setString(const QByteArray &section, const QByteArray &key, const QString &value)
{
    setValue(section, key, m_encoding == Encoding::Utf8 ? value.toUtf8() : UnicodeToWin1250(value));
}

QList<QByteArray> IniFile::sections() const
{
    QList<QByteArray> names;
    for (qsizetype i = 1; i < m_sections.size(); ++i)
        names.append(m_sections[i].name);
    return names;
}

QList<QByteArray> IniFile::keys(const QByteArray &section) const
{
    QList<QByteArray> names;
    if (const Section *s = findSection(section)) {
        for (const Line &line : s->lines) {
            if (line.key.isEmpty())
                continue;
            const bool seen = std::any_of(names.cbegin(), names.cend(),
                                          [&line](const QByteArray &n) { return SameName(n, line.key); });
            if (!seen)
                names.append(line.key);
        }
    }
    return names;
}

} // namespace ostrevo
