#include "devices/PdfFontFace.h"

#include "devices/PdfSyntax.h"

#include <QHash>
#include <QMutex>
#include <QtEndian>

#include <algorithm>

namespace ostrevo {

namespace {

// A subset is compressed once per document and is small: a thorough level costs little.
constexpr int FontProgramLevel = 6;

// The tables of a TrueType or OpenType face a PDF reader can use (ISO 32000-1, 9.9 and
// the OpenType table list), in the sorted order the table directory needs. DSIG is left
// out: a rebuilt file would no longer match its signature.
const char *const KnownTables[] = {"CFF ", "GDEF", "GPOS", "GSUB", "LTSH", "OS/2", "VDMX", "cmap", "cvt ",
                                   "fpgm", "gasp", "glyf", "hdmx", "head", "hhea", "hmtx", "kern", "loca",
                                   "maxp", "name", "post", "prep", "vhea", "vmtx"};

// The PostScript name (name ID 6) from the 'name' table.
QByteArray PostScriptName(const QRawFont &raw)
{
    const QByteArray name = raw.fontTable("name");
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

} // namespace

std::shared_ptr<const PdfFontFace> PdfFontFace::build(const QRawFont &raw)
{
    auto face = std::make_shared<PdfFontFace>();
    face->trueType = !raw.fontTable("glyf").isEmpty();
    if (!face->trueType && raw.fontTable("CFF ").isEmpty())
        return nullptr;
    // The engine's tables: the very face Qt resolved, even out of a collection file.
    for (const char *tag : KnownTables) {
        QByteArray data = raw.fontTable(tag);
        if (!data.isEmpty())
            face->m_tables.append({QByteArray(tag), std::move(data)});
    }
    if (!face->trueType) {
        const QByteArray sfnt = BuildSfnt(face->m_tables, false);
        face->m_wholeLength = sfnt.size();
        face->m_wholeCompressed = PdfDeflate(sfnt, FontProgramLevel);
        face->m_tables.clear();
    }
    face->postScriptName = PostScriptName(raw);

    const qreal upem = raw.unitsPerEm() > 0 ? raw.unitsPerEm() : 1000;
    const QByteArray head = raw.fontTable("head");
    if (head.size() >= 44) {
        const auto *d = reinterpret_cast<const uchar *>(head.constData());
        for (int i = 0; i < 4; ++i)
            face->bbox[i] = Scaled(qFromBigEndian<qint16>(d + 36 + 2 * i), upem);
    }
    const QByteArray hhea = raw.fontTable("hhea");
    if (hhea.size() >= 8) {
        const auto *d = reinterpret_cast<const uchar *>(hhea.constData());
        face->ascent = Scaled(qFromBigEndian<qint16>(d + 4), upem);
        face->descent = Scaled(qFromBigEndian<qint16>(d + 6), upem);
    }
    face->capHeight = face->ascent;
    const QByteArray os2 = raw.fontTable("OS/2");
    if (os2.size() >= 90 && qFromBigEndian<quint16>(os2.constData()) >= 2)
        face->capHeight = Scaled(qFromBigEndian<qint16>(os2.constData() + 88), upem);
    const QByteArray post = raw.fontTable("post");
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
    if (!trueType)
        return {m_wholeCompressed, m_wholeLength, false};
    const QByteArray sfnt = BuildSfnt(m_tables, true);
    return {PdfDeflate(sfnt, FontProgramLevel), sfnt.size(), false};
}

PdfFontFace::Program PdfFontFace::program(const std::vector<quint16> &glyphs) const
{
    if (!trueType)
        return {m_wholeCompressed, m_wholeLength, false};
    QList<SfntTable> tables = SubsetTrueTypeTables(m_tables, glyphs);
    const bool subset = !tables.isEmpty();
    // Outline tables that do not read right go whole, as the face came.
    const QByteArray sfnt = BuildSfnt(subset ? tables : m_tables, true);
    return {PdfDeflate(sfnt, FontProgramLevel), sfnt.size(), subset};
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
