#include "devices/PdfFontSet.h"

#include "devices/PdfObjectWriter.h"
#include "devices/PdfSyntax.h"
#include "devices/PrinterError.h"
#include "devices/RealisedFont.h"

#include <algorithm>
#include <map>

namespace ostrevo {

PdfFontSet::PdfFontSet(Embedding embedding)
    : m_embedding(embedding)
{
}

PdfFontSet::~PdfFontSet() = default;

int PdfFontSet::faceFor(const RealisedFont &font)
{
    const QString key = PdfFaceKey(font.rawFont());
    auto it = m_faceIndex.constFind(key);
    if (it != m_faceIndex.constEnd())
        return *it;
    std::shared_ptr<const PdfFontFace> embedded = PdfFontFace::of(font.rawFont());
    if (!embedded)
        throw PrinterError(QStringLiteral("Nie można osadzić czcionki %1 %2 w pliku PDF")
                               .arg(font.rawFont().familyName(), font.rawFont().styleName()));
    m_faces.append({std::move(embedded)});
    const int index = static_cast<int>(m_faces.size() - 1);
    m_faceIndex.insert(key, index);
    return index;
}

PdfFontSet::Font &PdfFontSet::fontFor(const RealisedFont &font)
{
    const QString key = PdfFaceKey(font.rawFont()) + u'/' + QString::number(font.emSize(), 'g', 17) + u'/' +
                        QString::number(font.scaleX(), 'g', 17);
    auto it = m_fontIndex.constFind(key);
    if (it != m_fontIndex.constEnd())
        return *m_fonts[*it];
    auto made = std::make_unique<Font>();
    made->face = faceFor(font);
    made->resourceName = "F" + QByteArray::number(qsizetype(m_fonts.size()));
    made->unitsPerPixel = 1000.0 / (font.emSize() * font.scaleX());
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        // Identity-H codes are two bytes: glyphs beyond 65535 cannot be shown.
        made->glyph[b] = font.glyph(byte) <= 0xFFFF ? quint16(font.glyph(byte)) : 0;
        made->advance[b] = font.advance(byte);
        made->character[b] = font.character(byte);
    }
    m_fonts.push_back(std::move(made));
    m_fontIndex.insert(key, static_cast<int>(m_fonts.size() - 1));
    return *m_fonts.back();
}

void PdfFontSet::AppendGlyphString(QByteArray &out, Font &font, const char *first, const char *last)
{
    out.append('(');
    // Two-byte glyph codes in a literal string (7.3.4.2): only the delimiters, the escape
    // and a carriage return (which readers would turn into a line feed) need a backslash.
    const qsizetype at = out.size();
    out.resize(at + 4 * (last - first));
    char *to = out.data() + at;
    auto put = [&to](unsigned char c) {
        if (c == '(' || c == ')' || c == '\\') {
            *to++ = '\\';
            *to++ = char(c);
        } else if (c == '\r') {
            *to++ = '\\';
            *to++ = 'r';
        } else {
            *to++ = char(c);
        }
    };
    for (const char *p = first; p < last; ++p) {
        const auto b = static_cast<unsigned char>(*p);
        font.used[b] = true;
        const quint16 glyph = font.glyph[b];
        put(glyph >> 8);
        put(glyph & 0xff);
    }
    out.resize(to - out.constData());
    out.append(')');
}

bool PdfFontSet::needsOpenType() const
{
    for (const Face &face : m_faces)
        if (!face.embedded->trueType)
            return true;
    return false;
}

std::vector<char32_t> PdfFontSet::charactersOf(int face) const
{
    std::vector<char32_t> characters;
    for (const auto &font : m_fonts) {
        if (font->face != face)
            continue;
        for (int b = 0; b < 256; ++b)
            if (font->used[b] && font->character[b] >= u' ')
                characters.push_back(font->character[b]);
    }
    std::sort(characters.begin(), characters.end());
    characters.erase(std::unique(characters.begin(), characters.end()), characters.end());
    return characters;
}

std::vector<quint16> PdfFontSet::glyphsOf(int face) const
{
    std::vector<bool> used(65536, false);
    for (const auto &font : m_fonts) {
        if (font->face != face)
            continue;
        for (int b = 0; b < 256; ++b)
            if (font->used[b])
                used[font->glyph[b]] = true;
    }
    std::vector<quint16> glyphs;
    for (std::size_t g = 0; g < used.size(); ++g)
        if (used[g])
            glyphs.push_back(quint16(g));
    return glyphs;
}

QByteArray PdfFontSet::toUnicode(int face) const
{
    std::map<quint16, char16_t> map;
    for (const auto &font : m_fonts) {
        if (font->face != face)
            continue;
        for (int b = 0; b < 256; ++b) {
            // Control characters and the missing glyph stand for no text.
            if (font->used[b] && font->glyph[b] != 0 && font->character[b] >= u' ')
                map.emplace(font->glyph[b], font->character[b]);
        }
    }
    static const char hex[] = "0123456789ABCDEF";
    auto hex4 = [](QByteArray &out, unsigned v) {
        out.append('<').append(hex[(v >> 12) & 15]).append(hex[(v >> 8) & 15]).append(hex[(v >> 4) & 15]).append(hex[v & 15]).append('>');
    };
    // A CMap as 9.10.3 and Adobe's technical note 5411 lay it out.
    QByteArray out("/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                   "/CIDSystemInfo <</Registry (Adobe) /Ordering (UCS) /Supplement 0>> def\n"
                   "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                   "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n");
    auto it = map.cbegin();
    while (it != map.cend()) {
        // At most 100 mappings per block.
        const auto count = std::min<std::size_t>(100, std::distance(it, map.cend()));
        AppendPdfInt(out, static_cast<qint64>(count));
        out.append(" beginbfchar\n");
        for (std::size_t i = 0; i < count; ++i, ++it) {
            hex4(out, it->first);
            out.append(' ');
            hex4(out, it->second);
            out.append('\n');
        }
        out.append("endbfchar\n");
    }
    out.append("endcmap\nCMapName currentdict /CMapResource defineresource pop\nend\nend\n");
    return out;
}

namespace {

// A subset's name: six capital letters before the face's name (9.6.4), here drawn from
// the glyphs kept so that the same printout always gives the same file.
QByteArray SubsetName(const QByteArray &postScriptName, const std::vector<quint16> &glyphs)
{
    quint32 hash = 2166136261u; // FNV-1a
    for (quint16 g : glyphs) {
        hash = (hash ^ (g & 0xff)) * 16777619u;
        hash = (hash ^ (g >> 8)) * 16777619u;
    }
    QByteArray tag(6, 'A');
    for (char &letter : tag) {
        letter = char('A' + hash % 26);
        hash /= 26;
    }
    return tag + '+' + postScriptName;
}

// The widths of the glyphs used, as runs of consecutive glyphs of one width (9.7.4.3).
// /DW is an integer and could not hold these widths exactly, so every glyph used is listed.
QByteArray Widths(const PdfFontSet::Font &font)
{
    std::map<quint16, int> advanceOf;
    for (int b = 0; b < 256; ++b) {
        if (font.used[b])
            advanceOf.emplace(font.glyph[b], font.advance[b]);
    }
    QByteArray out("/W [");
    for (auto it = advanceOf.cbegin(); it != advanceOf.cend();) {
        auto end = std::next(it);
        while (end != advanceOf.cend() && end->first == std::prev(end)->first + 1 && end->second == it->second)
            ++end;
        AppendPdfInt(out, it->first);
        out.append(' ');
        AppendPdfInt(out, std::prev(end)->first);
        out.append(' ');
        AppendPdfReal(out, it->second * font.unitsPerPixel);
        out.append(' ');
        it = end;
    }
    out.append(']');
    return out;
}

} // namespace

void PdfFontSet::write(PdfObjectWriter &writer, int resources, const QByteArray &otherResources) const
{
    struct FaceObjects {
        int descriptor = 0;
        int toUnicode = 0;
        QByteArray name;
    };
    QList<FaceObjects> faceObjects;
    for (qsizetype i = 0; i < m_faces.size(); ++i) {
        const PdfFontFace &face = *m_faces[i].embedded;
        FaceObjects objects{writer.reserve(), writer.reserve(), face.postScriptName};
        const std::vector<quint16> glyphs = glyphsOf(static_cast<int>(i));
        const PdfFontFace::Program embedded =
            m_embedding == Embedding::Subsets ? face.program(glyphs, charactersOf(static_cast<int>(i))) : face.wholeProgram();
        if (embedded.subset)
            objects.name = SubsetName(face.postScriptName, glyphs);
        const int program = writer.reserve();
        QByteArray programDictionary(" /Filter /FlateDecode");
        if (face.trueType) {
            programDictionary.append(" /Length1 ");
            AppendPdfInt(programDictionary, embedded.length);
        } else {
            programDictionary.append(" /Subtype /OpenType");
        }
        writer.writeStream(program, programDictionary, embedded.compressed);

        QByteArray &d = writer.beginObject(objects.descriptor);
        d.append("<</Type /FontDescriptor /FontName ");
        AppendPdfName(d, objects.name);
        d.append(" /Flags ");
        AppendPdfInt(d, face.flags);
        d.append(" /FontBBox [");
        for (int v : face.bbox) {
            AppendPdfInt(d, v);
            d.append(' ');
        }
        d.append("] /ItalicAngle ");
        AppendPdfReal(d, face.italicAngle);
        d.append(" /Ascent ");
        AppendPdfInt(d, face.ascent);
        d.append(" /Descent ");
        AppendPdfInt(d, face.descent);
        d.append(" /CapHeight ");
        AppendPdfInt(d, face.capHeight);
        // No face says its stem width; 80 is what readers assume for a regular weight.
        d.append(" /StemV 80 ");
        d.append(face.trueType ? "/FontFile2 " : "/FontFile3 ");
        AppendPdfInt(d, program);
        d.append(" 0 R>>");
        writer.endObject();

        const QByteArray cmap = PdfDeflate(toUnicode(static_cast<int>(i)), 6);
        writer.writeStream(objects.toUnicode, " /Filter /FlateDecode", cmap);
        faceObjects.append(objects);
    }

    QByteArray fontDictionary("<</Font <<");
    for (const auto &font : m_fonts) {
        const PdfFontFace &face = *m_faces[font->face].embedded;
        const FaceObjects &objects = faceObjects[font->face];
        const int type0 = writer.reserve();
        const int descendant = writer.reserve();
        QByteArray &t = writer.beginObject(type0);
        t.append("<</Type /Font /Subtype /Type0 /BaseFont ");
        AppendPdfName(t, objects.name);
        t.append(" /Encoding /Identity-H /DescendantFonts [");
        AppendPdfInt(t, descendant);
        t.append(" 0 R] /ToUnicode ");
        AppendPdfInt(t, objects.toUnicode);
        t.append(" 0 R>>");
        writer.endObject();

        QByteArray &c = writer.beginObject(descendant);
        c.append(face.trueType ? "<</Type /Font /Subtype /CIDFontType2 /BaseFont "
                               : "<</Type /Font /Subtype /CIDFontType0 /BaseFont ");
        AppendPdfName(c, objects.name);
        c.append(" /CIDSystemInfo <</Registry (Adobe) /Ordering (Identity) /Supplement 0>> /FontDescriptor ");
        AppendPdfInt(c, objects.descriptor);
        c.append(" 0 R ");
        if (face.trueType)
            c.append("/CIDToGIDMap /Identity ");
        c.append(Widths(*font)).append(">>");
        writer.endObject();

        fontDictionary.append(' ');
        AppendPdfName(fontDictionary, font->resourceName);
        fontDictionary.append(' ');
        AppendPdfInt(fontDictionary, type0);
        fontDictionary.append(" 0 R");
    }
    fontDictionary.append(">>").append(otherResources).append(">>");
    writer.beginObject(resources).append(fontDictionary);
    writer.endObject();
}

} // namespace ostrevo
