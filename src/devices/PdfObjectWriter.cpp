#include "devices/PdfObjectWriter.h"

#include "devices/PdfSyntax.h"
#include "jobs/Errors.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace ostrevo {

namespace {

// Writes reach the file in pieces of about this size.
constexpr qsizetype FlushSize = 256 * 1024;

} // namespace

bool PdfObjectWriter::open(const QString &path)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    startFile();
    return true;
}

bool PdfObjectWriter::open(int fd)
{
    if (!m_file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        return false;
    startFile();
    return true;
}

void PdfObjectWriter::startFile()
{
    m_buffer.reserve(FlushSize + 64 * 1024);
    // A comment of bytes above 127 tells transfer programs the file is binary (7.5.2).
    m_buffer.append("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
}

int PdfObjectWriter::reserve()
{
    m_offsets.append(-1);
    return static_cast<int>(m_offsets.size() - 1);
}

QByteArray &PdfObjectWriter::beginObject(int number)
{
    m_offsets[number] = offset();
    AppendPdfInt(m_buffer, number);
    m_buffer.append(" 0 obj\n");
    return m_buffer;
}

void PdfObjectWriter::endObject()
{
    m_buffer.append("\nendobj\n");
    flushIfFull();
}

void PdfObjectWriter::writeStream(int number, const QByteArray &dictionary, const QByteArray &data)
{
    QByteArray &out = beginObject(number);
    out.append("<</Length ");
    AppendPdfInt(out, data.size());
    out.append(dictionary).append(">>\nstream\n");
    if (data.size() > FlushSize) {
        // A font program goes straight to the file rather than through the buffer.
        m_flushed += m_buffer.size();
        put(m_buffer);
        m_buffer.clear();
        m_flushed += data.size();
        put(data);
    } else {
        out.append(data);
    }
    m_buffer.append("\nendstream");
    endObject();
}

void PdfObjectWriter::flushIfFull()
{
    if (m_buffer.size() < FlushSize)
        return;
    m_flushed += m_buffer.size();
    put(m_buffer);
    m_buffer.clear();
}

bool PdfObjectWriter::finish(int root, int info)
{
    const qint64 xref = offset();
    m_buffer.append("xref\n0 ");
    AppendPdfInt(m_buffer, m_offsets.size());
    // Each entry is exactly 20 bytes (7.5.4).
    m_buffer.append("\n0000000000 65535 f \n");
    char entry[24];
    for (qsizetype i = 1; i < m_offsets.size(); ++i) {
        if (m_offsets[i] < 0)
            m_failed = true;
        std::snprintf(entry, sizeof entry, "%010lld 00000 n \n", static_cast<long long>(m_offsets[i]));
        m_buffer.append(entry, 20);
    }
    m_buffer.append("trailer\n<</Size ");
    AppendPdfInt(m_buffer, m_offsets.size());
    m_buffer.append(" /Root ");
    AppendPdfInt(m_buffer, root);
    m_buffer.append(" 0 R /Info ");
    AppendPdfInt(m_buffer, info);
    m_buffer.append(" 0 R>>\nstartxref\n");
    AppendPdfInt(m_buffer, xref);
    m_buffer.append("\n%%EOF\n");
    put(m_buffer);
    m_buffer.clear();
    errno = 0;
    if (!m_file.flush())
        noteFailure();
    // On the disk before the file gets its name: once the job's files are deleted, a power
    // cut must not leave an empty printout behind.
    errno = 0;
    if (!m_failed && ::fsync(m_file.handle()) != 0)
        noteFailure();
    errno = 0;
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        noteFailure();
    return !m_failed;
}

void PdfObjectWriter::put(const QByteArray &bytes)
{
    errno = 0;
    if (m_file.write(bytes) != bytes.size())
        noteFailure();
}

// The first failure's reason is the one to tell: a later close() no longer knows it, and a
// full disk must say so rather than "Unknown error".
void PdfObjectWriter::noteFailure()
{
    const int err = errno;
    m_failed = true;
    if (!m_error.isEmpty())
        return;
    m_errno = err;
    // Qt's own text is often "Unknown error" here; the failed system call's errno is not.
    if (err != 0 || m_file.error() == QFileDevice::NoError)
        m_error = ErrnoText(err ? err : EIO);
    else
        m_error = m_file.errorString();
}

QString PdfObjectWriter::errorString() const
{
    return m_error.isEmpty() ? m_file.errorString() : m_error;
}

void PdfObjectWriter::discard()
{
    m_buffer.clear();
    m_file.close();
    // A file handed over open has no name here: its owner deletes it.
    if (!m_file.fileName().isEmpty())
        m_file.remove();
}

} // namespace ostrevo
