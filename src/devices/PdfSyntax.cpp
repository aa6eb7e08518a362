#include "devices/PdfSyntax.h"

#include <algorithm>
#include <charconv>
#include <cmath>

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

QByteArray PdfDeflate(const QByteArray &data, int level)
{
    // qCompress puts the uncompressed length in front of the zlib stream.
    QByteArray compressed = qCompress(data, level);
    compressed.remove(0, 4);
    return compressed;
}

} // namespace ostrevo
