#include "escp/EscpInterpreter.h"

#include "jobs/Errors.h"

#include <algorithm>

namespace ostrevo {

namespace {

constexpr qint64 A4Width = 89291;   // 210 mm
constexpr qint64 A4Height = 126283; // 297 mm
// An 80-column printer prints 8 inches; on A4 that line sits in the middle of the sheet.
constexpr qint64 PrintableWidth = 8 * EscpInch;
constexpr qint64 BaselineDrop = EscpInch * 20 / 180;
constexpr qint64 NormalEm = EscpInch * 21 / 144; // 10.5 point
constexpr qint64 MaxPageLength = 22 * EscpInch;
// Far beyond any report, near enough to stop a stream of form feeds filling the disk.
constexpr int MaxPages = 100000;

bool SwitchOn(unsigned char value)
{
    return value == 1 || value == '1';
}

int Word(QByteArrayView bytes, qsizetype at)
{
    return static_cast<unsigned char>(bytes[at]) + 256 * static_cast<unsigned char>(bytes[at + 1]);
}

int SignedWord(QByteArrayView bytes, qsizetype at)
{
    const int value = Word(bytes, at);
    return value >= 32768 ? value - 65536 : value;
}

// Horizontal and vertical dots per inch of the ESC * densities; 0 for none.
struct Density {
    int horizontal = 0;
    int vertical = 0;
    int dots = 0;
};

Density GraphicsDensity(int m)
{
    switch (m) {
    case 0: return {60, 60, 8};
    case 1:
    case 2: return {120, 60, 8};
    case 3: return {240, 60, 8};
    case 4: return {80, 60, 8};
    case 5: return {72, 60, 8};
    case 6: return {90, 60, 8};
    case 7: return {144, 60, 8};
    case 32: return {60, 180, 24};
    case 33: return {120, 180, 24};
    case 38: return {90, 180, 24};
    case 39: return {180, 180, 24};
    case 40: return {360, 180, 24};
    case 64: return {60, 360, 48};
    case 65: return {120, 360, 48};
    case 70: return {90, 360, 48};
    case 71: return {180, 360, 48};
    case 72:
    case 73: return {360, 360, 48};
    default: return {};
    }
}

QImage BlankDots(int width, int height)
{
    QImage image(width, height, QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    image.fill(0);
    return image;
}

QString CommandName(unsigned char letter)
{
    if (letter > 0x20 && letter < 0x7F)
        return QStringLiteral("ESC %1").arg(QLatin1Char(char(letter)));
    return QStringLiteral("ESC 0x%1").arg(letter, 2, 16, QLatin1Char('0'));
}

} // namespace

EscpInterpreter::EscpInterpreter(const Options &options, PageSink sink)
    : m_options(options), m_sink(std::move(sink))
{
    reset();
    m_page = freshPage();
}

void EscpInterpreter::reset()
{
    m_leftMargin = 0;
    m_rightMargin = PrintableWidth;
    m_customTabs = false;
    m_tabs.clear();
    m_verticalTabState = VerticalTabs::NeverSet;
    m_verticalTabs.clear();
    m_lineSpacing = EscpInch / 6;
    m_pageLength = m_options.pageLength > 0 ? std::min(m_options.pageLength, MaxPageLength) : A4Height;
    m_topMargin = 0;
    m_bottomMargin = 0;
    m_definedUnit = 0;
    m_letterQuality = false;
    m_pitch = Pitch::Pica;
    m_condensed = m_doubleWidth = m_lineDoubleWidth = m_doubleHeight = false;
    m_bold = m_doubleStrike = m_italic = m_underline = false;
    m_script = 0;
    m_hmi = m_extraSpace = m_multipointAdvance = m_multipointEm = 0;
    m_slots = {EscpTable::Italic, m_options.table, m_options.table, m_options.table};
    m_slot = 1;
    m_country = 0;
    m_upperControls = false;
    m_msb = -1;
    m_letters = DefaultGraphicsLetters;
}

EscpPage EscpInterpreter::freshPage() const
{
    EscpPage page;
    page.width = A4Width;
    page.height = m_pageLength;
    page.left = (A4Width - PrintableWidth) / 2;
    // The first line's capitals reach a little above the top of the form (its baseline is
    // 20/180 inch down, a Ż is taller): the form starts a point down the sheet.
    page.top = EscpInch / 72;
    return page;
}

void EscpInterpreter::run(QByteArrayView stream)
{
    qsizetype i = 0;
    while (i < stream.size()) {
        const auto byte = static_cast<unsigned char>(stream[i]);
        if (byte == 0x1B) {
            const EscpCommandSpan span = MeasureEscCommand(stream, i, m_letters);
            if (!span.complete) {
                unknown(QStringLiteral("urwane %1").arg(CommandName(i + 1 < stream.size() ? static_cast<unsigned char>(stream[i + 1]) : 0)));
                break;
            }
            if (!span.known)
                unknown(CommandName(static_cast<unsigned char>(stream[i + 1])));
            else
                command(stream, i, span.length);
            i += span.length;
            continue;
        }
        ++i;
        const bool upperControl = m_upperControls && byte >= 0x80 && byte < 0xA0;
        if (byte < 0x20 || byte == 0x7F || upperControl)
            control(upperControl ? byte - 0x80 : byte);
        else
            printByte(byte, false);
    }
    endLine();
    finishPage();
    if (m_pagesOut == 0) {
        // Nothing printed at all: still one sheet, so that the file is a document.
        deliver(freshPage());
    }
}

void EscpInterpreter::control(unsigned char byte)
{
    switch (byte) {
    case 0x08: // BS
        m_x = std::max(m_leftMargin, m_x - advance());
        break;
    case 0x09: horizontalTab(); break;
    case 0x0A: lineFeed(m_lineSpacing); break;
    case 0x0B: verticalTab(); break;
    case 0x0C: formFeed(); break;
    case 0x0D: carriageReturn(); break;
    case 0x0E: m_lineDoubleWidth = true; m_hmi = 0; break;
    case 0x0F:
        if (!m_multipointAdvance && m_pitch != Pitch::Micron)
            m_condensed = true;
        m_hmi = 0;
        break;
    case 0x12: m_condensed = false; m_hmi = 0; break;
    case 0x14: m_lineDoubleWidth = false; m_hmi = 0; break;
    case 0x18: cancelLine(); break;
    case 0x7F: deleteLast(); break;
    default:
        // NUL, BEL, DC1, DC3 and the rest leave nothing on paper; a DC3 never silences the
        // rest of the job, as it would on a printer whose select line nobody raises again.
        break;
    }
}

void EscpInterpreter::command(QByteArrayView stream, qsizetype at, qsizetype length)
{
    const auto letter = static_cast<unsigned char>(stream[at + 1]);
    const QByteArrayView p = stream.sliced(at + 2, length - 2);
    const auto n = [&p](qsizetype i) { return static_cast<unsigned char>(p[i]); };
    switch (letter) {
    case '@': reset(); m_x = m_leftMargin; break;
    case 'E': m_bold = true; break;
    case 'F': m_bold = false; break;
    case 'G': m_doubleStrike = true; break;
    case 'H': m_doubleStrike = false; break;
    case '4': m_italic = true; break;
    case '5': m_italic = false; break;
    case '-': m_underline = SwitchOn(n(0)); break;
    case 'S': m_script = n(0) == 0 || n(0) == '0' ? 1 : SwitchOn(n(0)) ? 2 : m_script; break;
    case 'T': m_script = 0; break;
    case 'W':
        m_doubleWidth = SwitchOn(n(0));
        if (!m_doubleWidth)
            m_lineDoubleWidth = false;
        m_hmi = 0;
        break;
    case 'w': m_doubleHeight = SwitchOn(n(0)); m_hmi = 0; break;
    case 0x0E: m_lineDoubleWidth = true; m_hmi = 0; break;
    case 0x0F: control(0x0F); break;
    case 'P': m_pitch = Pitch::Pica; m_hmi = m_multipointAdvance = m_multipointEm = 0; break;
    case 'M': m_pitch = Pitch::Elite; m_hmi = m_multipointAdvance = m_multipointEm = 0; break;
    case 'g':
        m_pitch = Pitch::Micron;
        m_condensed = false;
        m_hmi = m_multipointAdvance = m_multipointEm = 0;
        break;
    case 'p': m_hmi = m_multipointAdvance = m_multipointEm = 0; break; // proportional is printed at the pitch
    case 'x': m_letterQuality = SwitchOn(n(0)); break;
    case '!': {
        const int bits = n(0);
        m_pitch = bits & 1 ? Pitch::Elite : Pitch::Pica;
        m_condensed = bits & 4;
        m_bold = bits & 8;
        m_doubleStrike = bits & 16;
        m_doubleWidth = bits & 32;
        m_italic = bits & 64;
        m_underline = bits & 128;
        m_hmi = m_multipointAdvance = m_multipointEm = 0;
        break;
    }
    case ' ': m_extraSpace = qint64(n(0)) * (m_letterQuality ? EscpInch / 180 : EscpInch / 120); m_hmi = 0; break;
    case 'c': m_hmi = qint64(Word(p, 0)) * (EscpInch / 360); m_extraSpace = 0; break;
    case 'X': {
        const int m = n(0);
        if (m >= 5)
            m_multipointAdvance = qint64(m) * (EscpInch / 360);
        if (const int halfPoints = Word(p, 1))
            m_multipointEm = qint64(halfPoints) * EscpInch / 144;
        m_hmi = 0;
        break;
    }
    case 't': {
        const int slot = n(0) >= '0' ? n(0) - '0' : n(0);
        if (slot >= 0 && slot < 4)
            m_slot = slot;
        break;
    }
    case 'R': m_country = n(0); break;
    case '6': m_upperControls = false; break;
    case '7': m_upperControls = true; break;
    case 'm': m_upperControls = n(0) == 4; break;
    case 'I': break; // 0x00..0x1F as characters: only 9-pin printers with their own glyphs
    case '#': m_msb = -1; break;
    case '=': m_msb = 0; break;
    case '>': m_msb = 1; break;
    case '0': m_lineSpacing = EscpInch / 8; break;
    case '1': m_lineSpacing = EscpInch * 7 / 72; break;
    case '2': m_lineSpacing = EscpInch / 6; break;
    case '3': m_lineSpacing = qint64(n(0)) * (EscpInch / 180); break;
    case '+': m_lineSpacing = qint64(n(0)) * (EscpInch / 360); break;
    case 'A': m_lineSpacing = qint64(n(0)) * (EscpInch / 60); break;
    case 'J': endLine(); moveDown(qint64(n(0)) * (EscpInch / 180)); break;
    case 'j': endLine(); m_y = std::max(m_topMargin, m_y - qint64(n(0)) * (EscpInch / 216)); break;
    case 'C':
        setPageLength(n(0) ? qint64(n(0)) * m_lineSpacing : qint64(n(1)) * EscpInch);
        break;
    case 'N':
        if (n(0) > 0 && qint64(n(0)) * m_lineSpacing < m_pageLength)
            m_bottomMargin = m_pageLength - qint64(n(0)) * m_lineSpacing;
        break;
    case 'O': m_bottomMargin = 0; break;
    case 'B':
        m_verticalTabs.clear();
        for (qsizetype i = 0; i < p.size() && n(i); ++i)
            m_verticalTabs.append(m_topMargin + qint64(n(i)) * m_lineSpacing);
        m_verticalTabState = m_verticalTabs.isEmpty() ? VerticalTabs::Cleared : VerticalTabs::Set;
        break;
    case 'D':
        m_customTabs = true;
        m_tabs.clear();
        for (qsizetype i = 0; i < p.size() && n(i) && (i == 0 || n(i) > n(i - 1)); ++i)
            m_tabs.append(qint64(n(i)) * advance());
        break;
    case 'l': {
        const qint64 margin = qint64(n(0)) * advance();
        if (margin < m_rightMargin) {
            m_leftMargin = margin;
            m_x = std::max(m_x, m_leftMargin);
        }
        break;
    }
    case 'Q': {
        const qint64 margin = qint64(n(0)) * advance();
        if (margin > m_leftMargin)
            m_rightMargin = std::min(margin, PrintableWidth);
        break;
    }
    case '$': {
        const qint64 x = m_leftMargin + qint64(Word(p, 0)) * (m_definedUnit ? m_definedUnit : EscpInch / 60);
        if (x <= m_rightMargin)
            m_x = x;
        break;
    }
    case '\\': {
        const qint64 unit = m_definedUnit ? m_definedUnit : m_letterQuality ? EscpInch / 180 : EscpInch / 120;
        const qint64 x = m_x + qint64(SignedWord(p, 0)) * unit;
        if (x >= m_leftMargin && x <= m_rightMargin)
            m_x = x;
        break;
    }
    case 'f':
        if (n(0) == 0)
            m_x = std::min(m_rightMargin, m_x + qint64(n(1)) * advance());
        else {
            for (int i = 0; i < n(1); ++i)
                lineFeed(m_lineSpacing);
            carriageReturn();
        }
        break;
    case 0x19: // paper in and out; only ejecting a sheet shows
        if (n(0) == 'R')
            formFeed();
        break;
    case '?':
        if (const int index = QByteArrayView("KLYZ").indexOf(char(n(0))); index >= 0)
            m_letters[index] = n(1);
        break;
    case '*': graphics(n(0), p.sliced(3)); break;
    case 'K': graphics(m_letters[0], p.sliced(2)); break;
    case 'L': graphics(m_letters[1], p.sliced(2)); break;
    case 'Y': graphics(m_letters[2], p.sliced(2)); break;
    case 'Z': graphics(m_letters[3], p.sliced(2)); break;
    case '^': nineDotGraphics(n(0), p.sliced(3)); break;
    case '.': rasterGraphics(stream.sliced(at, length)); break;
    case '(': parenCommand(n(0), p.sliced(3)); break;
    default:
        // Known, and nothing on paper: typeface, quality, colour, direction, sheet feeders,
        // user-defined characters (printed in the printer's own glyphs here), VFU channels.
        break;
    }
}

void EscpInterpreter::parenCommand(unsigned char letter, QByteArrayView p)
{
    const auto n = [&p](qsizetype i) { return static_cast<unsigned char>(p[i]); };
    const qint64 unit = m_definedUnit ? m_definedUnit : EscpInch / 360;
    switch (letter) {
    case 'U':
        if (p.size() >= 1 && n(0) > 0)
            m_definedUnit = qint64(n(0)) * EscpInch / 3600;
        return;
    case 'C':
        if (p.size() >= 2)
            setPageLength(qint64(Word(p, 0)) * unit);
        return;
    case 'c':
        if (p.size() >= 4) {
            const qint64 top = qint64(Word(p, 0)) * unit;
            const qint64 bottom = qint64(Word(p, 2)) * unit;
            // Half an inch at least between them, or every line would be a page of its own.
            if (top + EscpInch / 2 <= bottom && bottom <= m_pageLength) {
                m_topMargin = top;
                m_bottomMargin = bottom;
                m_y = std::max(m_y, m_topMargin);
            }
        }
        return;
    case 'V':
        if (p.size() >= 2) {
            const qint64 y = m_topMargin + qint64(Word(p, 0)) * unit;
            if (y >= m_y - EscpInch * 179 / 360) {
                endLine();
                if (y > m_y)
                    moveDown(y - m_y);
                else
                    m_y = y;
            }
        }
        return;
    case 'v':
        if (p.size() >= 2) {
            const qint64 distance = qint64(SignedWord(p, 0)) * unit;
            if (distance >= -EscpInch * 179 / 360 && m_y + distance >= m_topMargin) {
                endLine();
                if (distance > 0)
                    moveDown(distance);
                else
                    m_y += distance;
            }
        }
        return;
    case '^':
        for (char byte : p)
            printByte(static_cast<unsigned char>(byte), true);
        return;
    case 't':
        if (p.size() >= 3) {
            const int slot = n(0) >= '0' ? n(0) - '0' : n(0);
            EscpTable table;
            if (!RegisteredEscpTable(n(1), n(2), table))
                unknown(QStringLiteral("ESC ( t %1 %2").arg(n(1)).arg(n(2)));
            else if (slot >= 0 && slot < 4)
                m_slots[slot] = table;
        }
        return;
    case '-':
        if (p.size() >= 3 && n(1) == 1)
            m_underline = n(2) != 0;
        return;
    case 'G':
    case 'i':
    case 'B': // a barcode: its bars are not drawn here
        return;
    default: unknown(QStringLiteral("ESC ( %1").arg(QLatin1Char(char(letter)))); return;
    }
}

void EscpInterpreter::setPageLength(qint64 length)
{
    // Shorter than an inch is no form a program means; it would only turn every line into
    // a page of its own.
    if (length < EscpInch || length > MaxPageLength)
        return;
    m_pageLength = length;
    // The sheet in hand takes the new length when nothing is on it yet, and never shrinks
    // under what is.
    m_page.height = m_page.empty() ? length : std::max(m_page.height, length);
    m_topMargin = m_bottomMargin = 0;
}

qint64 EscpInterpreter::advance() const
{
    if (m_hmi)
        return m_hmi;
    const bool wide = m_doubleWidth || m_lineDoubleWidth;
    qint64 pitch = m_multipointAdvance;
    if (!pitch) {
        switch (m_pitch) {
        case Pitch::Pica: pitch = m_condensed ? EscpInch * 7 / 120 : EscpInch / 10; break;
        case Pitch::Elite: pitch = m_condensed ? EscpInch / 20 : EscpInch / 12; break;
        case Pitch::Micron: pitch = EscpInch / 15; break;
        }
        if (wide)
            pitch *= 2;
    }
    return pitch + m_extraSpace * (wide ? 2 : 1);
}

qint64 EscpInterpreter::emHeight() const
{
    qint64 em = m_multipointEm ? m_multipointEm : NormalEm;
    if (m_doubleHeight)
        em *= 2;
    if (m_script)
        em = em * 2 / 3;
    return em;
}

qint64 EscpInterpreter::pageBottom() const
{
    return m_bottomMargin ? m_bottomMargin : m_pageLength;
}

void EscpInterpreter::printByte(unsigned char byte, bool verbatim)
{
    if (m_msb >= 0)
        byte = m_msb ? byte | 0x80 : byte & 0x7F;
    if (!verbatim && (byte < 0x20 || byte == 0x7F))
        return;
    const EscpTable table = m_slots[m_slot];
    QChar character;
    if (byte < 0x80 && m_country)
        character = NationalCharacter(m_country, byte);
    if (character.isNull())
        character = EscpCharacter(table, byte);
    if (character.isNull())
        return;
    placeCharacter(character, table == EscpTable::Italic && byte >= 0xA0);
}

void EscpInterpreter::placeCharacter(QChar character, bool italic)
{
    const qint64 step = advance();
    if (m_x + step > m_rightMargin && m_x > m_leftMargin) {
        // The line is full: the printer goes on at the start of the next one.
        carriageReturn();
        lineFeed(m_lineSpacing);
    }
    if (m_y + BaselineDrop > pageBottom())
        formFeed();
    if (character == QChar(0xA0))
        character = QLatin1Char(' ');
    if (const unsigned char code = FrameCode(character)) {
        const qint64 height = m_lineSpacing > 0 ? m_lineSpacing : EscpInch / 6;
        m_page.frames.append({m_x, m_y, step, height, height, code});
        m_lastWasFrame = true;
    } else {
        EscpLook look;
        look.advance = step;
        look.height = emHeight();
        look.bold = m_bold || m_doubleStrike;
        look.italic = m_italic || italic;
        look.underline = m_underline;
        qint64 baseline = m_y + BaselineDrop;
        if (m_script == 1)
            baseline -= NormalEm / 3;
        else if (m_script == 2)
            baseline += NormalEm / 6;
        EscpRun *last = m_page.runs.isEmpty() ? nullptr : &m_page.runs.last();
        if (last && last->baseline == baseline && last->look == look
            && last->x + last->text.size() * step == m_x)
            last->text.append(character);
        else
            m_page.runs.append({m_x, baseline, look, QString(character)});
        m_lastWasFrame = false;
    }
    m_x += step;
}

void EscpInterpreter::graphics(int density, QByteArrayView data)
{
    const Density d = GraphicsDensity(density);
    if (!d.horizontal) {
        unknown(QStringLiteral("ESC * %1").arg(density));
        return;
    }
    const int bytesPerColumn = d.dots / 8;
    const int columns = int(data.size() / bytesPerColumn);
    if (columns == 0)
        return;
    QImage dots = BlankDots(columns, d.dots);
    for (int column = 0; column < columns; ++column)
        for (int b = 0; b < bytesPerColumn; ++b) {
            const auto bits = static_cast<unsigned char>(data[column * bytesPerColumn + b]);
            for (int bit = 0; bit < 8; ++bit)
                if (bits & (0x80 >> bit))
                    dots.setPixel(column, b * 8 + bit, 1);
        }
    placeImage(std::move(dots), qint64(columns) * EscpInch / d.horizontal, qint64(d.dots) * EscpInch / d.vertical);
}

void EscpInterpreter::nineDotGraphics(int density, QByteArrayView data)
{
    const int horizontal = density == 1 ? 120 : 60;
    const int columns = int(data.size() / 2);
    if (columns == 0)
        return;
    QImage dots = BlankDots(columns, 9);
    for (int column = 0; column < columns; ++column) {
        const auto top = static_cast<unsigned char>(data[2 * column]);
        for (int bit = 0; bit < 8; ++bit)
            if (top & (0x80 >> bit))
                dots.setPixel(column, bit, 1);
        if (static_cast<unsigned char>(data[2 * column + 1]) & 0x80)
            dots.setPixel(column, 8, 1);
    }
    placeImage(std::move(dots), qint64(columns) * EscpInch / horizontal, 9 * EscpInch / 72);
}

void EscpInterpreter::rasterGraphics(QByteArrayView command)
{
    const auto n = [&command](qsizetype i) { return static_cast<unsigned char>(command[i]); };
    const int mode = n(2);
    const int vertical = n(3);
    const int horizontal = n(4);
    const int rows = n(5);
    const int width = Word(command, 6);
    if (mode > 1 || !vertical || !horizontal || !rows || !width) {
        if (mode > 1)
            unknown(QStringLiteral("ESC . %1").arg(mode));
        return;
    }
    const qsizetype rowBytes = (width + 7) / 8;
    QByteArray plain;
    plain.reserve(rows * rowBytes);
    const QByteArrayView data = command.sliced(8);
    if (mode == 0) {
        plain = data.toByteArray();
    } else {
        for (qsizetype i = 0; i < data.size() && plain.size() < rows * rowBytes;) {
            const int counter = static_cast<unsigned char>(data[i++]);
            if (counter >= 128) {
                if (i < data.size())
                    plain.append(257 - counter, data[i++]);
            } else {
                plain.append(data.sliced(i, std::min<qsizetype>(counter + 1, data.size() - i)));
                i += counter + 1;
            }
        }
    }
    plain.resize(rows * rowBytes, '\0');
    QImage dots = BlankDots(width, rows);
    for (int row = 0; row < rows; ++row)
        std::copy_n(plain.constData() + row * rowBytes, rowBytes, reinterpret_cast<char *>(dots.scanLine(row)));
    placeImage(std::move(dots), qint64(width) * horizontal * EscpInch / 3600, qint64(rows) * vertical * EscpInch / 3600);
}

void EscpInterpreter::placeImage(QImage dots, qint64 width, qint64 height)
{
    if (m_y >= pageBottom())
        formFeed();
    m_page.images.append({m_x, m_y, width, height, std::move(dots)});
    m_x += width;
}

void EscpInterpreter::unknown(const QString &name)
{
    if (!m_unknown.contains(name))
        m_unknown.append(name);
}

void EscpInterpreter::carriageReturn()
{
    endLine();
    m_x = m_leftMargin;
}

void EscpInterpreter::lineFeed(qint64 distance)
{
    carriageReturn();
    m_lineDoubleWidth = false;
    moveDown(distance);
}

void EscpInterpreter::moveDown(qint64 distance)
{
    m_y += distance;
    // A line whose baseline would fall below the bottom goes to the top of the next page.
    if (m_y + BaselineDrop > pageBottom())
        formFeed();
}

void EscpInterpreter::formFeed()
{
    endLine();
    finishPage();
    m_page = freshPage();
    m_x = m_leftMargin;
    m_y = m_topMargin;
    m_lineDoubleWidth = false;
    m_lineRuns = m_lineRunLength = m_lineFrames = 0;
}

void EscpInterpreter::verticalTab()
{
    switch (m_verticalTabState) {
    case VerticalTabs::NeverSet: lineFeed(m_lineSpacing); return;
    case VerticalTabs::Cleared: carriageReturn(); return;
    case VerticalTabs::Set: break;
    }
    for (qint64 stop : std::as_const(m_verticalTabs))
        if (stop > m_y && stop + BaselineDrop <= pageBottom()) {
            carriageReturn();
            m_lineDoubleWidth = false;
            m_y = stop;
            return;
        }
    formFeed();
}

void EscpInterpreter::horizontalTab()
{
    const qint64 along = m_x - m_leftMargin;
    qint64 stop = -1;
    if (m_customTabs) {
        for (qint64 tab : std::as_const(m_tabs))
            if (tab > along) {
                stop = tab;
                break;
            }
    } else {
        const qint64 every = 8 * advance();
        if (every > 0)
            stop = (along / every + 1) * every;
    }
    if (stop >= 0 && m_leftMargin + stop <= m_rightMargin)
        m_x = m_leftMargin + stop;
}

void EscpInterpreter::endLine()
{
    m_lineRuns = m_page.runs.size();
    m_lineRunLength = m_lineRuns ? m_page.runs.last().text.size() : 0;
    m_lineFrames = m_page.frames.size();
    m_lineX = m_x;
}

void EscpInterpreter::cancelLine()
{
    m_page.runs.resize(m_lineRuns);
    if (m_lineRuns)
        m_page.runs.last().text.truncate(m_lineRunLength);
    m_page.frames.resize(m_lineFrames);
    m_x = m_lineX; // nothing of the line was printed: the head never moved
}

void EscpInterpreter::deleteLast()
{
    if (m_lastWasFrame) {
        if (m_page.frames.size() > m_lineFrames) {
            m_x = m_page.frames.last().x;
            m_page.frames.removeLast();
        }
        return;
    }
    if (m_page.runs.isEmpty())
        return;
    EscpRun &run = m_page.runs.last();
    const bool inLine = m_page.runs.size() > m_lineRuns || run.text.size() > m_lineRunLength;
    if (!inLine || run.text.isEmpty())
        return;
    run.text.chop(1);
    m_x = run.x + run.text.size() * run.look.advance;
    if (run.text.isEmpty())
        m_page.runs.removeLast();
}

void EscpInterpreter::finishPage()
{
    if (m_page.empty()) {
        // Sheets fed before anything was printed are no part of the document; blank ones
        // between printed pages are.
        if (m_pagesOut > 0)
            ++m_blankPages;
        return;
    }
    for (; m_blankPages > 0; --m_blankPages)
        deliver(freshPage());
    EscpPage page = std::move(m_page);
    m_page = freshPage();
    deliver(std::move(page));
}

void EscpInterpreter::deliver(EscpPage &&page)
{
    if (m_pagesOut >= MaxPages)
        throw JobError(QStringLiteral("wydruk ma więcej niż %L1 stron").arg(MaxPages));
    ++m_pagesOut;
    m_sink(std::move(page));
}


} // namespace ostrevo
