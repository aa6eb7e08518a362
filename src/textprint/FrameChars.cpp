#include "textprint/FrameChars.h"

#include "devices/Canvas.h"
#include "jobs/Rounding.h"

#include <QList>

#include <algorithm>

namespace ostrevo {

const std::array<unsigned char, 48> FrameCharTable = {
    0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC,
    0xFE, 0xFF,
    0xBF, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC,
    0xCD, 0xCE, 0xCF, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA,
    0xDB, 0xDC, 0xDD, 0xDE, 0xDF};

namespace {

// Positions across (columns) or down (rows) a cell: edge, first stroke, middle, second
// stroke, far edge.
enum CellPos : unsigned char { Edge, First, Middle, Second, Far };

struct Stroke {
    bool across; // horizontal: on row `at` from column `from` to `to`; else vertical
    CellPos at, from, to;
};

struct FrameFigure {
    unsigned char code;
    // "H r a b" = across at row r from column a to b; "V c a b" = down at column c from
    // row a to b. Letters: 0 edge, 1 first stroke, M middle, 2 second stroke, F far edge.
    const char *lines;
};

// The figures of the code page 437 box-drawing characters; shades and blocks draw nothing.
constexpr FrameFigure Figures[] = {
    {0xB3, "V M 0 F"},
    {0xB4, "H M 0 M|V M 0 F"},
    {0xB5, "H 1 0 M|H 2 0 M|V M 0 F"},
    {0xB6, "H M 0 1|V 1 0 F|V 2 0 F"},
    {0xB7, "H M 0 2|V 1 M F|V 2 M F"},
    {0xB8, "H 1 0 M|H 2 0 M|V M 1 F"},
    {0xB9, "H 1 0 1|H 2 0 1|V 1 0 1|V 1 2 F|V 2 0 F"},
    {0xBA, "V 1 0 F|V 2 0 F"},
    {0xBB, "H 1 0 2|H 2 0 1|V 1 2 F|V 2 1 F"},
    {0xBC, "H 1 0 1|H 2 0 2|V 1 0 1|V 2 0 2"},
    {0xFE, "H M 0 2|V 1 0 M|V 2 0 M"},
    {0xFF, "H 1 0 M|H 2 0 M|V M 0 2"},
    {0xBF, "H M 0 M|V M M F"},
    {0xC0, "H M M F|V M 0 M"},
    {0xC1, "H M 0 F|V M 0 M"},
    {0xC2, "H M 0 F|V M M F"},
    {0xC3, "H M M F|V M 0 F"},
    {0xC4, "H M 0 F"},
    {0xC5, "H M 0 F|V M 0 F"},
    {0xC6, "H 1 M F|H 2 M F|V M 0 F"},
    {0xC7, "H M 2 F|V 1 0 F|V 2 0 F"},
    {0xC8, "H 1 2 F|H 2 1 F|V 1 0 2|V 2 0 1"},
    {0xC9, "H 1 1 F|H 2 2 F|V 1 1 F|V 2 2 F"},
    {0xCA, "H 1 0 F|H 2 0 F|V 1 0 1|V 2 0 1"},
    {0xCB, "H 1 0 F|H 2 0 F|V 1 2 F|V 2 2 F"},
    {0xCC, "H 1 2 F|H 2 2 F|V 1 0 F|V 2 0 1|V 2 2 F"},
    {0xCD, "H 1 0 F|H 2 0 F"},
    {0xCE, "H 1 0 F|H 2 0 F|V 1 0 1|V 1 2 F|V 2 0 1|V 2 2 F"},
    {0xCF, "H 1 0 F|H 2 0 F|V M 0 1"},
    {0xD0, "H M 0 F|V 1 0 M|V 2 0 M"},
    {0xD1, "H 1 0 F|H 2 0 F|V M 2 F"},
    {0xD2, "H M 0 F|V 1 M F|V 2 M F"},
    {0xD3, "H M 1 F|V 1 0 M|V 2 0 M"},
    {0xD4, "H 1 M F|H 2 M F|V M 0 2"},
    {0xD5, "H 1 M F|H 2 M F|V M 1 F"},
    {0xD6, "H M 1 F|V 1 M F|V 2 M F"},
    {0xD7, "H M 0 1|H M 2 F|V 1 0 F|V 2 0 F"},
    {0xD8, "H 1 0 F|H 2 0 F|V M 0 F"},
    {0xD9, "H M 0 M|V M 0 M"},
    {0xDA, "H M M F|V M M F"},
};

CellPos PosOf(char c)
{
    switch (c) {
    case '1': return First;
    case 'M': return Middle;
    case '2': return Second;
    case 'F': return Far;
    default: return Edge;
    }
}

struct FigureIndex {
    std::array<bool, 256> inTable{};
    std::array<QList<Stroke>, 256> strokes;

    FigureIndex()
    {
        for (unsigned char code : FrameCharTable)
            inTable[code] = true;
        for (const FrameFigure &figure : Figures) {
            const QByteArray text(figure.lines);
            for (const QByteArray &part : text.split('|'))
                strokes[figure.code].append({part[0] == 'H', PosOf(part[2]), PosOf(part[4]), PosOf(part[6])});
        }
    }
};

const FigureIndex &Index()
{
    static const FigureIndex index;
    return index;
}

int Column(const FrameCell &cell, CellPos pos)
{
    const int values[] = {0, cell.x1, cell.xm, cell.x2, cell.w};
    return values[pos];
}

int Row(const FrameCell &cell, CellPos pos)
{
    const int values[] = {0, cell.y1, cell.ym, cell.y2, cell.bottom};
    return values[pos];
}

} // namespace

void MergeStraightLines(QVector<QLine> &lines)
{
    QVector<QLine> across, down, other;
    for (const QLine &l : lines) {
        if (l.y1() == l.y2())
            across.append(l.x1() <= l.x2() ? l : QLine(l.p2(), l.p1()));
        else if (l.x1() == l.x2())
            down.append(l.y1() <= l.y2() ? l : QLine(l.p2(), l.p1()));
        else
            other.append(l);
    }
    std::sort(across.begin(), across.end(), [](const QLine &a, const QLine &b) {
        return a.y1() != b.y1() ? a.y1() < b.y1() : a.x1() < b.x1();
    });
    std::sort(down.begin(), down.end(), [](const QLine &a, const QLine &b) {
        return a.x1() != b.x1() ? a.x1() < b.x1() : a.y1() < b.y1();
    });
    lines.clear();
    for (const QLine &l : across) {
        if (!lines.isEmpty() && lines.last().y1() == l.y1() && lines.last().y2() == l.y1()
            && l.x1() <= lines.last().x2() && lines.last().x1() <= l.x1())
            lines.last().setP2(QPoint(std::max(lines.last().x2(), l.x2()), l.y1()));
        else
            lines.append(l);
    }
    const qsizetype firstDown = lines.size();
    for (const QLine &l : down) {
        if (lines.size() > firstDown && lines.last().x1() == l.x1()
            && l.y1() <= lines.last().y2())
            lines.last().setP2(QPoint(l.x1(), std::max(lines.last().y2(), l.y2())));
        else
            lines.append(l);
    }
    lines.append(other);
}


bool IsFrameChar(unsigned char code)
{
    return Index().inTable[code];
}

FrameCell MakeFrameCell(int cellWidth, int cellHeight, int dpiY, int lineHeight)
{
    FrameCell cell;
    cell.w = cellWidth;
    cell.h = cellHeight;
    cell.penWidth = RoundHalfEven(dpiY / 254.0);
    const int d = 3 * cell.penWidth;
    cell.xm = RoundHalfEven(cellWidth / 2.0);
    cell.ym = RoundHalfEven(cellHeight / 2.0);
    cell.x1 = cell.xm - d;
    cell.x2 = cell.xm + d;
    cell.y1 = cell.ym - d;
    cell.y2 = cell.ym + d;
    cell.bottom = std::max(cellHeight, lineHeight);
    return cell;
}

void AppendFrameLines(unsigned char code, const FrameCell &cell, QPoint corner, int escapement,
                      QVector<QLine> &out)
{
    const bool rotated = escapement == 900;
    // Cell position (u across, v down) on the device; rotated, the cell turns with the text.
    auto device = [&](int u, int v) {
        return rotated ? QPoint(corner.x() + v, corner.y() - u) : QPoint(corner.x() + u, corner.y() + v);
    };
    for (const Stroke &s : Index().strokes[code]) {
        if (s.across) {
            const int v = Row(cell, s.at);
            out.append(QLine(device(Column(cell, s.from), v), device(Column(cell, s.to), v)));
        } else {
            const int u = Column(cell, s.at);
            out.append(QLine(device(u, Row(cell, s.from)), device(u, Row(cell, s.to))));
        }
    }
}

void DrawFrameChars(Canvas &canvas, const QByteArray &segment, QPoint origin, int escapement, int dpiY,
                    int lineHeight, const QRect &page)
{
    const FigureIndex &index = Index();
    QVector<QLine> lines;
    FrameCell cell;
    bool measured = false;
    for (qsizetype i = 0; i < segment.size(); ++i) {
        const auto code = static_cast<unsigned char>(segment[i]);
        if (!index.inTable[code])
            continue;
        if (!measured) {
            // One font for the whole segment, so one measurement serves every cell.
            cell = MakeFrameCell(canvas.textWidth(QByteArrayLiteral("X")),
                                 canvas.textHeight(QByteArrayLiteral("X")), dpiY, lineHeight);
            measured = true;
        }
        // Cells far beyond any page are not drawn (and their offsets cannot overflow).
        const qint64 along64 = qint64(cell.w) * i;
        if (along64 > (qint64(1) << 28))
            break;
        const int along = int(along64);
        const QPoint corner = escapement == 900 ? QPoint(origin.x(), origin.y() - along)
                                                : QPoint(origin.x() + along, origin.y());
        if (!page.isNull()) {
            // The cell with its strokes, as it lies on the device.
            const QRect box = escapement == 900 ? QRect(corner.x(), corner.y() - cell.w, cell.bottom + 1, cell.w + 1)
                                                : QRect(corner.x(), corner.y(), cell.w + 1, cell.bottom + 1);
            if (!box.intersects(page)) {
                // Past the far edge nothing more can show.
                if (escapement == 900 ? box.bottom() < page.top() : box.left() > page.right())
                    break;
                continue;
            }
        }
        AppendFrameLines(code, cell, corner, escapement, lines);
    }
    if (lines.isEmpty())
        return;
    MergeStraightLines(lines);
    CanvasPen pen = canvas.pen();
    if (pen.width != cell.penWidth) {
        pen.width = cell.penWidth;
        canvas.setPen(pen);
    }
    canvas.drawLines(lines);
}

} // namespace ostrevo
