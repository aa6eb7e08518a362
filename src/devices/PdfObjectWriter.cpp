#include "devices/PdfObjectWriter.h"

#include "devices/PdfSyntax.h"

#include <cstdio>

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
    m_buffer.reserve(FlushSize + 64 * 1024);
    // A comment of bytes above 127 tells transfer programs the file is binary (7.5.2).
    m_buffer.append("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    return true;
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
        m_failed |= m_file.write(m_buffer) != m_buffer.size();
        m_buffer.clear();
        m_flushed += data.size();
        m_failed |= m_file.write(data) != data.size();
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
    m_failed |= m_file.write(m_buffer) != m_buffer.size();
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
    m_failed |= m_file.write(m_buffer) != m_buffer.size();
    m_buffer.clear();
    m_failed |= !m_file.flush();
    m_file.close();
    m_failed |= m_file.error() != QFileDevice::NoError;
    return !m_failed;
}

void PdfObjectWriter::discard()
{
    m_buffer.clear();
    m_file.close();
    m_file.remove();
}

} // namespace ostrevo
