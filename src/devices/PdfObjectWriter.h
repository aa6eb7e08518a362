#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>

namespace ostrevo {

// The body of a PDF file written object by object, then its cross-reference table and
// trailer (ISO 32000-1, 7.5). Objects may be numbered before they are written, so a page
// can refer to the font resources that only the document's end writes.
class PdfObjectWriter {
public:
    // Opens the file for writing; false when it cannot be created.
    bool open(const QString &path);
    // Writes to a file already open for writing, and closes it in the end.
    bool open(int fd);
    QString errorString() const;
    // The errno of the first failed write, 0 when none failed that way.
    int errorNumber() const { return m_errno; }

    int reserve();
    // Buffer for the object body between beginObject and endObject.
    QByteArray &beginObject(int number);
    void endObject();
    // A stream object: `dictionary` holds the entries besides /Length, `data` is already
    // encoded as the dictionary says.
    void writeStream(int number, const QByteArray &dictionary, const QByteArray &data);

    // Writes the cross-reference table and trailer, flushes the file to the disk and closes
    // it; false when any write failed or an object was reserved but never written.
    bool finish(int root, int info);
    // Closes and deletes the file.
    void discard();

private:
    void startFile();
    void flushIfFull();
    void put(const QByteArray &bytes);
    void noteFailure();
    qint64 offset() const { return m_flushed + m_buffer.size(); }

    QFile m_file;
    QByteArray m_buffer;
    qint64 m_flushed = 0;
    QList<qint64> m_offsets{0}; // by object number; 0 is the free list's head
    bool m_failed = false;
    int m_errno = 0;
    QString m_error;
};

} // namespace ostrevo
