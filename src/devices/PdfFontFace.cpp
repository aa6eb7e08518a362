#include "devices/PdfFontFace.h"

#include "devices/PdfSyntax.h"

#include <QHash>
#include <QMutex>
#include <QtEndian>

#include <fontconfig/fontconfig.h>
#include <hb-subset.h>

#include <algorithm>

namespace ostrevo {

namespace {

// A subset is compressed once per document and is small: a thorough level costs little.
constexpr int FontProgramLevel = 6;

// The tables of a TrueType or OpenType face that a PDF reader can use (ISO 32000-1, 9.9,
// and the OpenType table list). DSIG is left out: a rebuilt file would no longer match
// its signature.
const char *const KnownTables[] = {"CFF ", "OS/2", "cmap", "cvt ", "fpgm", "gasp", "glyf", "head",
                                   "hhea", "hmtx", "loca", "maxp", "name", "post", "prep", "vhea", "vmtx"};

// Text layout is done before the PDF is written: a reader only draws glyphs by id.
const char *const LayoutTables[] = {"GDEF", "GPOS", "GSUB", "kern", "morx", "BASE", "JSTF", "MATH"};

hb_tag_t Tag(const char *tag)
{
    return hb_tag_from_string(tag, 4);
}

struct BlobDeleter {
    void operator()(hb_blob_t *blob) const { hb_blob_destroy(blob); }
};
using BlobPtr = std::unique_ptr<hb_blob_t, BlobDeleter>;

// A blob's bytes, copied: the compressed program outlives it.
QByteArray BytesOf(hb_blob_t *blob)
{
    unsigned int length = 0;
    const char *data = hb_blob_get_data(blob, &length);
    return QByteArray(data, length);
}

// The PostScript name (name ID 6) from the 'name' table.
QByteArray PostScriptName(const QRawFont &raw, const QByteArray &name)
{
    const auto *d = reinterpret_cast<const uchar *>(name.constData());
    if (name.size() >= 6) {
        const int count = qFromBigEndian<quint16>(d + 2);
        const int strings = qFromBigEndian<quint16>(d + 4);
        for (int i = 0; i < count && 6 + 12 * (i + 1) <= name.size(); ++i) {
            const uchar *r = d + 6 + 12 * i;
            const int platform = qFromBigEndian<quint16>(r);
            const int id = qFromBigEndian<quint16>(r + 6);
            const int length = qFromBigEndian<quint16>(r + 8);
            const int offset = strings + qFromBigEndian<quint16>(r + 10);
            if (id != 6 || offset + length > name.size())
                continue;
            QByteArray out;
            if (platform == 3 || platform == 0) {
                for (int k = 0; k + 1 < length; k += 2)
                    out.append(char(d[offset + k + 1]));
            } else {
                out = name.mid(offset, length);
            }
            if (!out.isEmpty())
                return out;
        }
    }
    QString fallback = raw.familyName() + u'-' + raw.styleName();
    fallback.remove(u' ');
    return fallback.toLatin1();
}

int Scaled(qint16 units, qreal unitsPerEm)
{
    return qRound(units * 1000.0 / unitsPerEm);
}

// The face as its file holds it, found through fontconfig by the family and style Qt
// resolved: Qt's FreeType engine gives no tables of CFF faces.
hb_face_t *FaceFromFile(const QRawFont &raw)
{
    FcPattern *pattern = FcPatternCreate();
    const QByteArray family = raw.familyName().toUtf8();
    const QByteArray style = raw.styleName().toUtf8();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family.constData()));
    FcPatternAddString(pattern, FC_STYLE, reinterpret_cast<const FcChar8 *>(style.constData()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return nullptr;
    hb_face_t *face = nullptr;
    FcChar8 *file = nullptr;
    int index = 0;
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    // Only the very face: another family or style would name other glyphs.
    auto has = [match](const char *object, const QString &value) {
        FcChar8 *text = nullptr;
        for (int i = 0; FcPatternGetString(match, object, i, &text) == FcResultMatch; ++i)
            if (QString::fromUtf8(reinterpret_cast<const char *>(text)) == value)
                return true;
        return false;
    };
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && has(FC_FAMILY, raw.familyName())
        && has(FC_STYLE, raw.styleName())) {
        BlobPtr blob(hb_blob_create_from_file_or_fail(reinterpret_cast<const char *>(file)));
        if (blob)
            face = hb_face_create(blob.get(), unsigned(index));
    }
    FcPatternDestroy(match);
    return face;
}

// The face from the tables Qt's font engine reads for it: the very face Qt resolved,
// even out of a collection file. hb-subset reads them as one sfnt file that its face
// builder puts together.
hb_face_t *FaceFromTables(const QRawFont &raw)
{
    hb_face_t *builder = hb_face_builder_create();
    for (const char *tag : KnownTables) {
        const QByteArray data = raw.fontTable(tag);
        if (data.isEmpty())
            continue;
        BlobPtr blob(hb_blob_create(data.constData(), unsigned(data.size()), HB_MEMORY_MODE_DUPLICATE, nullptr, nullptr));
        hb_face_builder_add_table(builder, Tag(tag), blob.get());
    }
    BlobPtr sfnt(hb_face_reference_blob(builder));
    hb_face_destroy(builder);
    return hb_face_create(sfnt.get(), 0);
}

// A table of the face, whichever way it was read.
QByteArray TableOf(hb_face_t *face, const char *tag)
{
    BlobPtr blob(hb_face_reference_table(face, Tag(tag)));
    return BytesOf(blob.get());
}

} // namespace

PdfFontFace::~PdfFontFace()
{
    hb_face_destroy(m_face);
}

std::shared_ptr<const PdfFontFace> PdfFontFace::build(const QRawFont &raw)
{
    auto face = std::make_shared<PdfFontFace>();
    face->m_face = raw.fontTable("head").isEmpty() ? FaceFromFile(raw) : FaceFromTables(raw);
    if (!face->m_face || hb_face_get_glyph_count(face->m_face) == 0)
        return nullptr;
    face->trueType = !TableOf(face->m_face, "glyf").isEmpty();
    if (!face->trueType && TableOf(face->m_face, "CFF ").isEmpty())
        return nullptr;
    face->postScriptName = PostScriptName(raw, TableOf(face->m_face, "name"));

    const qreal upem = hb_face_get_upem(face->m_face) > 0 ? hb_face_get_upem(face->m_face) : 1000;
    const QByteArray head = TableOf(face->m_face, "head");
    if (head.size() >= 44) {
        const auto *d = reinterpret_cast<const uchar *>(head.constData());
        for (int i = 0; i < 4; ++i)
            face->bbox[i] = Scaled(qFromBigEndian<qint16>(d + 36 + 2 * i), upem);
    }
    const QByteArray hhea = TableOf(face->m_face, "hhea");
    if (hhea.size() >= 8) {
        const auto *d = reinterpret_cast<const uchar *>(hhea.constData());
        face->ascent = Scaled(qFromBigEndian<qint16>(d + 4), upem);
        face->descent = Scaled(qFromBigEndian<qint16>(d + 6), upem);
    }
    face->capHeight = face->ascent;
    const QByteArray os2 = TableOf(face->m_face, "OS/2");
    if (os2.size() >= 90 && qFromBigEndian<quint16>(os2.constData()) >= 2)
        face->capHeight = Scaled(qFromBigEndian<qint16>(os2.constData() + 88), upem);
    const QByteArray post = TableOf(face->m_face, "post");
    bool fixedPitch = false;
    if (post.size() >= 16) {
        const auto *d = reinterpret_cast<const uchar *>(post.constData());
        face->italicAngle = qFromBigEndian<qint32>(d + 4) / 65536.0;
        fixedPitch = qFromBigEndian<quint32>(d + 12) != 0;
    }
    face->flags = 32 | (fixedPitch ? 1 : 0) | (face->italicAngle != 0 ? 64 : 0);
    return face;
}

PdfFontFace::Program PdfFontFace::wholeProgram() const
{
    // Table by table: a face read from a collection file is not the whole file.
    hb_face_t *builder = hb_face_builder_create();
    hb_tag_t tags[64];
    unsigned int count = 64;
    hb_face_get_table_tags(m_face, 0, &count, tags);
    for (unsigned int i = 0; i < count; ++i) {
        BlobPtr table(hb_face_reference_table(m_face, tags[i]));
        hb_face_builder_add_table(builder, tags[i], table.get());
    }
    BlobPtr blob(hb_face_reference_blob(builder));
    hb_face_destroy(builder);
    const QByteArray sfnt = BytesOf(blob.get());
    return {PdfDeflate(sfnt, FontProgramLevel), sfnt.size(), false};
}

PdfFontFace::Program PdfFontFace::program(const std::vector<quint16> &glyphs,
                                          const std::vector<char32_t> &characters) const
{
    hb_subset_input_t *input = hb_subset_input_create_or_fail();
    if (!input)
        return wholeProgram();
    hb_set_t *glyphSet = hb_subset_input_glyph_set(input);
    for (quint16 glyph : glyphs)
        hb_set_add(glyphSet, glyph);
    // The characters only give the subset a cmap; the glyphs are the ones Qt chose.
    hb_set_t *unicodes = hb_subset_input_unicode_set(input);
    for (char32_t c : characters)
        hb_set_add(unicodes, c);
    hb_set_t *dropped = hb_subset_input_set(input, HB_SUBSET_SETS_DROP_TABLE_TAG);
    for (const char *tag : LayoutTables)
        hb_set_add(dropped, Tag(tag));
    // Glyph ids stay as the content streams and the /W arrays name them (glyphs left out
    // become empty); the outline of .notdef stays, as readers draw it for missing glyphs.
    hb_subset_input_set_flags(input, HB_SUBSET_FLAGS_RETAIN_GIDS | HB_SUBSET_FLAGS_NOTDEF_OUTLINE);
    hb_face_t *subset = hb_subset_or_fail(m_face, input);
    hb_subset_input_destroy(input);
    if (!subset)
        return wholeProgram();
    BlobPtr blob(hb_face_reference_blob(subset));
    hb_face_destroy(subset);
    const QByteArray sfnt = BytesOf(blob.get());
    if (sfnt.isEmpty())
        return wholeProgram();
    return {PdfDeflate(sfnt, FontProgramLevel), sfnt.size(), true};
}

QString PdfFaceKey(const QRawFont &raw)
{
    return raw.familyName() + u'/' + raw.styleName() + u'/' + QString::number(raw.weight()) + u'/' +
           QString::number(int(raw.style()));
}

std::shared_ptr<const PdfFontFace> PdfFontFace::of(const QRawFont &raw)
{
    static QMutex mutex;
    static QHash<QString, std::shared_ptr<const PdfFontFace>> faces;
    const QString key = PdfFaceKey(raw);
    QMutexLocker lock(&mutex);
    auto it = faces.constFind(key);
    if (it == faces.constEnd())
        it = faces.insert(key, build(raw));
    return *it;
}

} // namespace ostrevo
