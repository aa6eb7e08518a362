#include "escp/EscpRenderer.h"

#include "devices/Canvas.h"
#include "jobs/Charsets.h"
#include "textprint/FrameChars.h"

namespace ostrevo {

namespace {

// Courier New and its metric twin Liberation Mono: ascent and ascent + descent per em.
constexpr double FaceAscent = 1705.0 / 2048.0;
constexpr double FaceCell = (1705.0 + 615.0) / 2048.0;

LogFont RunFont(const EscpLook &look, int dpi)
{
    LogFont font;
    const double em = double(look.height) * dpi / EscpInch;
    font.height = qMax(1, qRound(em * FaceCell));
    font.width = int(qMax<qint64>(1, EscpPixels(look.advance, dpi)));
    font.weight = look.bold ? 700 : 400;
    font.italic = look.italic;
    font.underline = look.underline;
    return font;
}

void DrawRun(Canvas &canvas, const EscpRun &run, qint64 left, qint64 down, int dpi)
{
    if (run.text.trimmed().isEmpty() && !run.look.underline)
        return;
    canvas.setFont(RunFont(run.look, dpi));
    const QByteArray bytes = UnicodeToWin1250(run.text);
    const double em = double(run.look.height) * dpi / EscpInch;
    const int top = int(EscpPixels(down + run.baseline, dpi) - qRound(em * FaceAscent));
    // On a grid that falls on whole pixels the run is one string; elsewhere each character
    // is placed on its own, so that none drifts from its column.
    if ((run.look.advance * dpi) % EscpInch == 0) {
        canvas.textOut(int(EscpPixels(left + run.x, dpi)), top, bytes);
        return;
    }
    for (qsizetype i = 0; i < bytes.size(); ++i)
        canvas.textOut(int(EscpPixels(left + run.x + i * run.look.advance, dpi)), top, bytes.mid(i, 1));
}

// Blocks and shades: the part of the cell they fill, and how dark.
bool BlockShape(unsigned char code, QRect cell, QRect &area, QColor &color)
{
    const int halfWidth = cell.width() / 2;
    const int halfHeight = cell.height() / 2;
    area = cell;
    color = Qt::black;
    switch (code) {
    case 0xB0: color = QColor(191, 191, 191); return true;
    case 0xB1: color = QColor(128, 128, 128); return true;
    case 0xB2: color = QColor(64, 64, 64); return true;
    case 0xDB: return true;
    case 0xDC: area.setTop(cell.top() + halfHeight); return true;
    case 0xDD: area.setWidth(halfWidth); return true;
    case 0xDE: area.setLeft(cell.left() + halfWidth); return true;
    case 0xDF: area.setHeight(halfHeight); return true;
    default: return false;
    }
}

void DrawFrames(Canvas &canvas, const EscpPage &page, int dpi)
{
    QVector<QLine> lines;
    int penWidth = 1;
    for (const EscpFrameCell &frame : page.frames) {
        const int x = int(EscpPixels(page.left + frame.x, dpi));
        const int y = int(EscpPixels(page.top + frame.top, dpi));
        const int width = int(EscpPixels(page.left + frame.x + frame.width, dpi)) - x;
        const int height = int(EscpPixels(page.top + frame.top + frame.height, dpi)) - y;
        QRect area;
        QColor color;
        if (BlockShape(frame.code, QRect(x, y, width, height), area, color)) {
            canvas.setPen({1, color, PenStyle::Null});
            canvas.setBrush({color, BrushStyle::Solid});
            canvas.rectangle(area);
            continue;
        }
        const FrameCell cell = MakeFrameCell(width, height, dpi, int(EscpPixels(frame.lineHeight, dpi)));
        penWidth = cell.penWidth;
        AppendFrameLines(frame.code, cell, QPoint(x, y), 0, lines);
    }
    if (lines.isEmpty())
        return;
    MergeStraightLines(lines);
    canvas.setPen({penWidth, Qt::black, PenStyle::Solid});
    canvas.drawLines(lines);
}

} // namespace

qint64 EscpPixels(qint64 length, int dpi)
{
    const qint64 scaled = length * dpi;
    return scaled >= 0 ? (scaled + EscpInch / 2) / EscpInch : -((-scaled + EscpInch / 2) / EscpInch);
}

void DrawEscpPage(Canvas &canvas, const EscpPage &page, int dpi)
{
    canvas.setBackgroundMode(BackgroundMode::Transparent);
    canvas.setTextColor(Qt::black);
    for (const EscpImage &image : page.images) {
        const int x = int(EscpPixels(page.left + image.x, dpi));
        const int y = int(EscpPixels(page.top + image.top, dpi));
        canvas.drawImage(QRect(x, y, int(EscpPixels(page.left + image.x + image.width, dpi)) - x,
                               int(EscpPixels(page.top + image.top + image.height, dpi)) - y),
                         image.dots);
    }
    DrawFrames(canvas, page, dpi);
    for (const EscpRun &run : page.runs)
        DrawRun(canvas, run, page.left, page.top, dpi);
}

} // namespace ostrevo
