#pragma once

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QString>
#include <optional>

namespace ostrevo {

// Reads a job file line by line with the DOS text rules: a line ends at LF, a CR before
// the LF goes with it, a lone CR is dropped, and Ctrl+Z (0x1A) ends the line and the file.
// Lines are raw bytes in the legacy code page and have no length limit.
class LineReader {
public:
    // Throws IoError when the file cannot be opened.
    explicit LineReader(const QString &path);
    // Reads from an open device (not owned); used for in-memory data.
    explicit LineReader(QIODevice *device);
    // Reads a job text opened once for the whole job (not owned) from its start, by
    // position, so that the passes over one job (classifier, handler) never disturb each
    // other. With -1 it opens `path` as a job text itself (see OpenJobText). `path`
    // names the file in messages.
    LineReader(int jobText, const QString &path);
    ~LineReader();
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;

    // The next line, or nothing at the end of the file. Throws IoError on a read error.
    std::optional<QByteArray> next();
    bool atEnd();
    const QString &path() const { return m_path; }
    // How many lines next() has returned: the number of the last one.
    int lineNumber() const { return m_lineNumber; }

private:
    bool fill();

    qint64 readChunk(char *into, qint64 size);

    QString m_path;
    QFile m_file;
    QIODevice *m_device = nullptr;
    int m_fd = -1;
    bool m_ownsFd = false;
    qint64 m_offset = 0;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_eof = false;
    int m_lineNumber = 0;
};

// Opens a job text for reading: without following a symbolic link, without waiting (a
// FIFO), and only when it is a regular file. Returns the descriptor; throws IoError.
int OpenJobText(const QString &path);

// Reads every line of a file at once (small files: templates, symbol files, PTU tables).
QList<QByteArray> ReadAllLines(const QString &path);

// The line up to its first "//".
QByteArray RemoveComment(const QByteArray &line);

// ASCII upper case (a..z only), as tags are compared.
QByteArray UpperAscii(const QByteArray &line);

// True when the upper-cased line contains the tag (given in upper case, e.g. "<FTP>").
bool HoldsTag(const QByteArray &line, const char *tag);

// Removes leading and trailing bytes up to 0x20.
QByteArray TrimControl(const QByteArray &text);

struct KeyLine {
    QByteArray key;   // upper-cased, trimmed
    QByteArray value; // trimmed, case kept
};

// Splits a line at its first "="; nothing when the line has no "=".
std::optional<KeyLine> ParseKeyLine(const QByteArray &line);

// Keys of a key block: later keys replace earlier ones.
using KeyBlock = QMap<QByteArray, QByteArray>;

// Reads the key block that follows a tag line: the next lines up to the first that holds
// "<END>" (which is consumed) or the end of the file. The tag line itself is not read
// here. When `tagLine` already holds "<END>", the block is empty and nothing is read.
// Comments are removed first unless `keepComments`.
KeyBlock ReadKeyBlock(LineReader &reader, const QByteArray &tagLine, bool keepComments = false);

} // namespace ostrevo
