#include "devices/PdfFontFace.h"

#include "devices/PdfSyntax.h"

#include <QHash>
#include <QMutex>
#include <QtEndian>

#include <algorithm>

namespace ostrevo {

namespace {

// The font program is compressed once per process, so a thorough level costs nothing
// after the first printout and keeps every file smaller.
constexpr int FontProgramLevel = 6;

// The tables of a TrueType or OpenType face a PDF reader can use (ISO 32000-1, 9.9 and
// the OpenType table list), in the sorted order the table directory needs. DSIG is left
// out: a rebuilt file would no longer match its signature.
const char *const KnownTables[] = {"CFF ", "GDEF", "GPOS", "GSUB", "LTSH", "OS/2", "VDMX", "cmap", "cvt ",
                                   "fpgm", "gasp", "glyf", "hdmx", "head", "hhea", "hmtx", "kern", "loca",
                                   "maxp", "name", "post", "prep", "vhea", "vmtx"};

quint32 TableChecksum(const QByteArray &padded)
{
    quint32 sum = 0;
    const auto *d = reinterpret_cast<const uchar *>(padded.constData());
    for (qsizetype i = 0; i + 4 <= padded.size(); i += 4)
        sum += qFromBigEndian<quint32>(d + i);
    return sum;
}

void PutU16(QByteArray &out, quint16 v)
{
    out.append(char(v >> 8)).append(char(v & 0xff));
}

void PutU32(QByteArray &out, quint32 v)
{
    PutU16(out, quint16(v >> 16));
    PutU16(out, quint16(v & 0xffff));
}

// The face as an sfnt file (OpenType, "Organization of an OpenType font"), from the
// engine's tables: the very face Qt resolved, even out of a collection file.
QByteArray BuildSfnt(const QRawFont &raw, bool trueType)
{
    struct Table {
        const char *tag;
        QByteArray data;
    };
    QList<Table> tables;
    for (const char *tag : KnownTables) {
        QByteArray data = raw.fontTable(tag);
        if (!data.isEmpty())
            tables.append({tag, std::move(data)});
    }
    const auto n = static_cast<quint16>(tables.size());
    quint16 entrySelector = 0;
    while ((2u << entrySelector) <= n)
        ++entrySelector;
    const quint16 searchRange = quint16((1u << entrySelector) * 16);
    QByteArray file;
    PutU32(file, trueType ? 0x00010000u : 0x4F54544Fu); // 'OTTO' for CFF outlines
    PutU16(file, n);
    PutU16(file, searchRange);
    PutU16(file, entrySelector);
    PutU16(file, quint16(n * 16 - searchRange));
    quint32 at = 12 + 16u * n;
    QByteArray body;
    qsizetype headAt = -1;
    for (Table &t : tables) {
        const quint32 length = quint32(t.data.size());
        if (qstrcmp(t.tag, "head") == 0 && t.data.size() >= 12) {
            t.data[8] = t.data[9] = t.data[10] = t.data[11] = 0; // checkSumAdjustment, set below
            headAt = at + 8;
        }
        t.data.append(QByteArray((4 - length % 4) % 4, '\0'));
        file.append(t.tag, 4);
        PutU32(file, TableChecksum(t.data));
        PutU32(file, at);
        PutU32(file, length);
        body.append(t.data);
        at += quint32(t.data.size());
    }
    file.append(body);
    if (headAt >= 0)
        qToBigEndian<quint32>(0xB1B0AFBAu - TableChecksum(file), file.data() + headAt);
    return file;
}

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

std::shared_ptr<const PdfFontFace> Build(const QRawFont &raw)
{
    auto face = std::make_shared<PdfFontFace>();
    face->trueType = !raw.fontTable("glyf").isEmpty();
    if (!face->trueType && raw.fontTable("CFF ").isEmpty())
        return nullptr;
    const QByteArray sfnt = BuildSfnt(raw, face->trueType);
    face->programLength = sfnt.size();
    face->program = PdfDeflate(sfnt, FontProgramLevel);
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

} // namespace

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
        it = faces.insert(key, Build(raw));
    return *it;
}

} // namespace ostrevo
