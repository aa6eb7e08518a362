#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace ostrevo {

// A Windows INI file kept line by line, so that writing it back changes only the values
// that were set: sections and keys are matched case-insensitively (ASCII), order, unknown
// sections and keys, comments, blank lines and line ends stay as they were; new lines end
// as the file's first line does (CR LF in a new file). Values are bytes in the file's
// encoding: UTF-8 when the file is valid UTF-8 and not plain ASCII (a Linux editor's
// file), Windows-1250 otherwise (the Windows program's). Reading follows GetPrivateProfileString:
// the value is trimmed of spaces and tabs and one pair of enclosing quotes is removed;
// the first of two equal keys or sections counts.
class IniFile {
public:
    enum class Encoding { Windows1250, Utf8 };

    IniFile() = default;

    static IniFile fromBytes(const QByteArray &bytes);
    QByteArray toBytes() const;

    // A missing file gives an empty INI file. Throws IoError when the file exists but
    // cannot be read.
    static IniFile load(const QString &path);
    // Atomic (temporary file + rename); the file is left readable by its owner only,
    // since it holds a password. Throws IoError.
    void save(const QString &path) const;

    std::optional<QByteArray> value(const QByteArray &section, const QByteArray &key) const;
    QByteArray value(const QByteArray &section, const QByteArray &key, const QByteArray &fallback) const;
    // Line breaks cannot be stored and become spaces; a value that would not
    // read back the same (blanks at its ends, enclosing quotes) is written in quotes.
    void setValue(const QByteArray &section, const QByteArray &key, const QByteArray &value);
    void removeKey(const QByteArray &section, const QByteArray &key);

    // The encoding the file was read in, and is written back in.
    Encoding encoding() const { return m_encoding; }

    // Values through the file's encoding.
    QString string(const QByteArray &section, const QByteArray &key, const QString &fallback = {}) const;
    void setString(const QByteArray &section, const QByteArray &key, const QString &value);

    QList<QByteArray> sections() const;
    // Keys of the section in file order, as spelled in the file, without duplicates.
    QList<QByteArray> keys(const QByteArray &section) const;

private:
    struct Line {
        QByteArray raw;
        QByteArray key; // empty for comments, blank and other lines
        QByteArray end; // the line's end as read; empty: the file's
    };
    struct Section {
        QByteArray name;
        QList<Line> lines; // the header line first, when there is one
    };

    Section *findSection(const QByteArray &name);
    const Section *findSection(const QByteArray &name) const;

    // Section 0 holds the lines before the first header and has no name.
    QList<Section> m_sections{Section{}};
    QByteArray m_lineEnd = QByteArrayLiteral("\r\n");
    Encoding m_encoding = Encoding::Windows1250;
    bool m_byteOrderMark = false;
};

} // namespace ostrevo
