#include "devices/TrueTypeSubset.h"

#include <QtEndian>

namespace ostrevo {

namespace {

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

const QByteArray *Find(const QList<SfntTable> &tables, const char *tag)
{
    for (const SfntTable &t : tables)
        if (t.tag == tag)
            return &t.data;
    return nullptr;
}

quint16 U16(const QByteArray &data, qsizetype at)
{
    return qFromBigEndian<quint16>(data.constData() + at);
}

// Glyph offsets into `glyf` from `loca`, numGlyphs + 1 of them (glyf, loca).
std::vector<quint32> GlyphOffsets(const QByteArray &loca, int numGlyphs, bool longFormat, qsizetype glyfSize)
{
    std::vector<quint32> offsets(std::size_t(numGlyphs) + 1);
    const qsizetype entry = longFormat ? 4 : 2;
    if (loca.size() < entry * (numGlyphs + 1))
        return {};
    for (int g = 0; g <= numGlyphs; ++g) {
        offsets[g] = longFormat ? qFromBigEndian<quint32>(loca.constData() + 4 * g) : 2u * U16(loca, 2 * g);
        if (offsets[g] > glyfSize || (g > 0 && offsets[g] < offsets[g - 1]))
            return {};
    }
    return offsets;
}

// Marks the components of the composite glyph `glyph` (glyf, "Composite glyph
// description") and queues those not yet marked.
void QueueComponents(const char *glyph, quint32 size, std::vector<bool> &keep, std::vector<quint16> &queue)
{
    enum : quint16 {
        ArgsAreWords = 0x0001,
        HaveScale = 0x0008,
        MoreComponents = 0x0020,
        HaveXYScale = 0x0040,
        HaveTwoByTwo = 0x0080,
    };
    quint32 at = 10; // past the glyph header
    quint16 flags = MoreComponents;
    while ((flags & MoreComponents) && at + 4 <= size) {
        flags = qFromBigEndian<quint16>(glyph + at);
        const quint16 component = qFromBigEndian<quint16>(glyph + at + 2);
        if (component < keep.size() && !keep[component]) {
            keep[component] = true;
            queue.push_back(component);
        }
        at += 4 + ((flags & ArgsAreWords) ? 4 : 2);
        if (flags & HaveScale)
            at += 2;
        else if (flags & HaveXYScale)
            at += 4;
        else if (flags & HaveTwoByTwo)
            at += 8;
    }
}

} // namespace

QByteArray BuildSfnt(const QList<SfntTable> &tables, bool trueType)
{
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
    for (const SfntTable &table : tables) {
        QByteArray data = table.data;
        const quint32 length = quint32(data.size());
        if (table.tag == "head" && data.size() >= 12) {
            data[8] = data[9] = data[10] = data[11] = 0; // checkSumAdjustment, set below
            headAt = at + 8;
        }
        data.append(QByteArray((4 - length % 4) % 4, '\0'));
        file.append(table.tag.constData(), 4);
        PutU32(file, TableChecksum(data));
        PutU32(file, at);
        PutU32(file, length);
        body.append(data);
        at += quint32(data.size());
    }
    file.append(body);
    if (headAt >= 0)
        qToBigEndian<quint32>(0xB1B0AFBAu - TableChecksum(file), file.data() + headAt);
    return file;
}

QList<SfntTable> SubsetTrueTypeTables(const QList<SfntTable> &tables, const std::vector<quint16> &glyphs)
{
    const QByteArray *head = Find(tables, "head");
    const QByteArray *maxp = Find(tables, "maxp");
    const QByteArray *loca = Find(tables, "loca");
    const QByteArray *glyf = Find(tables, "glyf");
    if (!head || !maxp || !loca || !glyf || head->size() < 54 || maxp->size() < 6)
        return {};
    const int numGlyphs = U16(*maxp, 4);
    const bool longLoca = U16(*head, 50) != 0; // head.indexToLocFormat
    const std::vector<quint32> offsets = GlyphOffsets(*loca, numGlyphs, longLoca, glyf->size());
    if (offsets.empty())
        return {};

    // The glyphs drawn, .notdef, and what composites among them are built of.
    std::vector<bool> keep(std::size_t(numGlyphs), false);
    std::vector<quint16> queue;
    auto mark = [&](quint16 g) {
        if (g < numGlyphs && !keep[g]) {
            keep[g] = true;
            queue.push_back(g);
        }
    };
    mark(0);
    for (quint16 g : glyphs)
        mark(g);
    while (!queue.empty()) {
        const quint16 g = queue.back();
        queue.pop_back();
        const quint32 size = offsets[g + 1] - offsets[g];
        const char *glyph = glyf->constData() + offsets[g];
        if (size >= 10 && qFromBigEndian<qint16>(glyph) < 0)
            QueueComponents(glyph, size, keep, queue);
    }

    QByteArray newGlyf;
    QByteArray newLoca;
    newLoca.reserve(4 * (numGlyphs + 1));
    for (int g = 0; g < numGlyphs; ++g) {
        PutU32(newLoca, quint32(newGlyf.size()));
        if (keep[g]) {
            newGlyf.append(glyf->constData() + offsets[g], offsets[g + 1] - offsets[g]);
            newGlyf.append(QByteArray((4 - newGlyf.size() % 4) % 4, '\0'));
        }
    }
    PutU32(newLoca, quint32(newGlyf.size()));

    QList<SfntTable> out;
    for (const SfntTable &table : tables) {
        // Layout tables serve shaping; a PDF places every glyph itself.
        if (table.tag == "GDEF" || table.tag == "GPOS" || table.tag == "GSUB" || table.tag == "kern")
            continue;
        SfntTable t = table;
        if (t.tag == "glyf") {
            t.data = newGlyf;
        } else if (t.tag == "loca") {
            t.data = newLoca;
        } else if (t.tag == "head") {
            t.data[50] = 0;
            t.data[51] = 1; // long loca
        } else if (t.tag == "post" && t.data.size() >= 32) {
            // Format 3: no glyph names, which a CID font is never looked up by.
            t.data.truncate(32);
            t.data[0] = 0;
            t.data[1] = 3;
            t.data[2] = t.data[3] = 0;
        }
        out.append(std::move(t));
    }
    return out;
}

} // namespace ostrevo
