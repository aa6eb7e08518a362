#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <span>

namespace ostrevo {

// What a renderer noticed in a job while laying it out: control symbols and keys it did
// not know, lines wider than the page, bytes the font has no glyph for, templates and
// boxes that were not there. Renderers are given one only for a preview; in a normal run
// they get none and spend nothing on it. Warnings of one sort and subject are kept once,
// with the job-file lines where they occurred.
class RenderReport {
public:
    enum Sort {
        UnknownSymbol, // a "<...>" the symbol table does not hold, printed as text
        UnknownKey,    // a key of a job's header that the job kind does not read
        TooWide,       // text reaching beyond the page at its pitch
        NoGlyph,       // a byte the printout font has no glyph for
        NotFound,      // a template, a box or another named part that is not there
        Other,
    };

    struct Warning {
        Sort sort = Other;
        QString subject;  // the symbol, key, byte or name it is about
        QString message;  // what it means, in a sentence
        QList<int> lines; // the first job-file lines where it occurred, in order
        int lineCount = 0; // every line where it occurred
        int lastLine = 0;
        int extent = 0;   // TooWide: the furthest column reached
    };

    // At most this many line numbers are listed for one warning.
    static constexpr int ListedLines = 8;

    // The job-file line being laid out now (1 = the first); 0 outside the lines.
    void setLine(int line) { m_line = line; }
    int line() const { return m_line; }

    // Which Windows-1250 bytes the font draws nothing for; `text` checks against it.
    void setGlyphless(const std::array<bool, 256> &glyphless) { m_glyphless = glyphless; }

    // One drawn text, in Windows-1250 as it goes to the font: bytes without a glyph.
    void text(const QByteArray &win1250);
    // One drawn segment, as it stands in the job file: "<...>" words left in it.
    void segment(const QByteArray &raw, std::span<const QByteArray> knownSymbols);
    // Text of the current line reaches column `reached` while the page holds `columns`.
    void tooWide(int reached, int columns);
    void unknownKey(const QByteArray &key, const QString &where);
    void notFound(const QString &what, const QString &message);
    void add(Sort sort, const QString &subject, const QString &message);

    const QList<Warning> &warnings() const { return m_warnings; }
    bool empty() const { return m_warnings.isEmpty(); }
    // One line per warning: "wiersze 3, 7: <message>".
    QStringList lines() const;

private:
    Warning &find(Sort sort, const QString &subject, const QString &message);
    void noteLine(Warning &warning) const;

    int m_line = 0;
    std::array<bool, 256> m_glyphless{};
    QList<Warning> m_warnings;
};

// The "<...>" words of a printout text: "<", one to twelve printable bytes with a letter
// or a digit among them, ">". Control symbols look like that, so a word of that shape
// left in the printed text is most likely one the symbol table does not know.
QList<QByteArray> TagLikeWords(const QByteArray &text);

} // namespace ostrevo
