#include "devices/PdfSyntax.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <new>

#include <zlib.h>

namespace ostrevo {

void AppendPdfInt(QByteArray &out, qint64 value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr - buffer);
}

void AppendPdfReal(QByteArray &out, double value, int decimals)
{
    static constexpr double HalfUnit[] = {0.5, 0.05, 0.005, 5e-4, 5e-5, 5e-6, 5e-7, 5e-8, 5e-9};
    decimals = std::clamp(decimals, 0, 8);
    const double rounded = std::round(value);
    if (std::abs(value - rounded) < HalfUnit[decimals]) {
        AppendPdfInt(out, static_cast<qint64>(rounded));
        return;
    }
    char buffer[48];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    char *end = result.ptr;
    while (end > buffer && end[-1] == '0')
        --end;
    if (end > buffer && end[-1] == '.')
        --end;
    out.append(buffer, end - buffer);
}

void AppendPdfTextString(QByteArray &out, const QString &text)
{
    static const char hex[] = "0123456789ABCDEF";
    out.append("<FEFF");
    for (QChar c : text) {
        const char16_t u = c.unicode();
        out.append(hex[(u >> 12) & 15]).append(hex[(u >> 8) & 15]).append(hex[(u >> 4) & 15]).append(hex[u & 15]);
    }
    out.append('>');
}

void AppendPdfName(QByteArray &out, const QByteArray &name)
{
    static const char hex[] = "0123456789ABCDEF";
    static const QByteArray delimiters("()<>[]{}/%#");
    out.append('/');
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= ' ' || b >= 127 || delimiters.contains(c))
            out.append('#').append(hex[b >> 4]).append(hex[b & 15]);
        else
            out.append(c);
    }
}

namespace {

// One compressor per level and thread, reset for each stream: a fresh one allocates and
// clears a quarter of a megabyte, and freeing it again after every page made the heap
// shrink and grow page by page (a third of a long printout's time in the kernel).
class Deflater {
public:
    explicit Deflater(int level)
    {
        m_ready = deflateInit(&m_stream, level) == Z_OK;
    }
    ~Deflater()
    {
        if (m_ready)
            deflateEnd(&m_stream);
    }
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;

    QByteArray compress(const QByteArray &data)
    {
        if (!m_ready || deflateReset(&m_stream) != Z_OK)
            throw std::bad_alloc();
        QByteArray out(qsizetype(deflateBound(&m_stream, uLong(data.size()))), Qt::Uninitialized);
        m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
        m_stream.avail_in = uInt(data.size());
        m_stream.next_out = reinterpret_cast<Bytef *>(out.data());
        m_stream.avail_out = uInt(out.size());
        // deflateBound makes room for the whole stream: one call finishes it.
        if (deflate(&m_stream, Z_FINISH) != Z_STREAM_END)
            throw std::bad_alloc();
        out.resize(qsizetype(m_stream.total_out));
        return out;
    }

private:
    z_stream m_stream{};
    bool m_ready = false;
};

} // namespace

QByteArray PdfDeflate(const QByteArray &data, int level)
{
    thread_local std::map<int, std::unique_ptr<Deflater>> deflaters;
    std::unique_ptr<Deflater> &deflater = deflaters[level];
    if (!deflater)
        deflater = std::make_unique<Deflater>(level);
    return deflater->compress(data);
}

} // namespace ostrevo
