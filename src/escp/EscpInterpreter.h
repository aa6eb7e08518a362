#pragma once

#include "escp/EscpCharacters.h"
#include "escp/EscpCommands.h"
#include "escp/EscpPage.h"

#include <QByteArrayView>
#include <QStringList>

#include <array>
#include <functional>

namespace ostrevo {

// Reads an Epson ESC/P (ESC/P2, 24-pin) print stream into pages of text runs, frame cells
// and graphics, as the printer would put them on paper: pitch, attributes, line spacing,
// page length and margins, tabs, character tables, bit images. Commands outside the table
// are skipped and listed. One instance reads one stream.
class EscpInterpreter {
public:
    struct Options {
        EscpTable table = EscpTable::Cp852; // what slots 1 to 3 hold at the start
        qint64 pageLength = 0;              // 0: the A4 sheet's
    };
    using PageSink = std::function<void(EscpPage &&page)>;

    EscpInterpreter(const Options &options, PageSink sink);

    // Reads the whole stream and hands on every page, the last one included.
    void run(QByteArrayView stream);

    int pages() const { return m_pagesOut; }
    // Each command not in the table once, in order of first use ("ESC 0x8f", "ESC ( Q").
    const QStringList &unknownCommands() const { return m_unknown; }

private:
    enum class Pitch { Pica, Elite, Micron };

    void reset();
    void control(unsigned char byte);
    void command(QByteArrayView stream, qsizetype at, qsizetype length);
    void parenCommand(unsigned char letter, QByteArrayView parameters);
    void printByte(unsigned char byte, bool verbatim);
    void placeCharacter(QChar character, bool italic);
    void graphics(int density, QByteArrayView columns);
    void nineDotGraphics(int density, QByteArrayView columns);
    void rasterGraphics(QByteArrayView command);
    void placeImage(QImage dots, qint64 width, qint64 height);
    void unknown(const QString &name);

    qint64 advance() const;
    qint64 emHeight() const;
    qint64 pageBottom() const;
    void carriageReturn();
    void lineFeed(qint64 distance);
    void moveDown(qint64 distance);
    void formFeed();
    void verticalTab();
    void horizontalTab();
    void endLine(); // a line terminator: what was printed is no longer in the line buffer
    void cancelLine();
    void deleteLast();
    void finishPage();
    void deliver(EscpPage &&page);
    void setPageLength(qint64 length);
    EscpPage freshPage() const;

    Options m_options;
    PageSink m_sink;
    QStringList m_unknown;

    EscpPage m_page;
    int m_pagesOut = 0;
    int m_blankPages = 0; // blank pages waiting for a page with ink after them

    // Position from the left-most printable column and the top of the form.
    qint64 m_x = 0;
    qint64 m_y = 0;
    qint64 m_leftMargin = 0;
    qint64 m_rightMargin = 0;
    bool m_customTabs = false;
    QVector<qint64> m_tabs; // from the left margin
    enum class VerticalTabs { NeverSet, Set, Cleared } m_verticalTabState = VerticalTabs::NeverSet;
    QVector<qint64> m_verticalTabs; // from the top of the form

    qint64 m_lineSpacing = 0;
    qint64 m_pageLength = 0;
    qint64 m_topMargin = 0;
    qint64 m_bottomMargin = 0; // from the top of the form; 0 = none
    qint64 m_definedUnit = 0;  // 0 = none defined: each command's own unit
    bool m_letterQuality = false;

    Pitch m_pitch = Pitch::Pica;
    bool m_condensed = false;
    bool m_doubleWidth = false;
    bool m_lineDoubleWidth = false; // SO: until the end of the line
    bool m_doubleHeight = false;
    bool m_bold = false;
    bool m_doubleStrike = false;
    bool m_italic = false;
    bool m_underline = false;
    int m_script = 0; // 1 superscript, 2 subscript
    qint64 m_hmi = 0;
    qint64 m_extraSpace = 0;
    qint64 m_multipointAdvance = 0;
    qint64 m_multipointEm = 0;

    std::array<EscpTable, 4> m_slots{};
    int m_slot = 1;
    int m_country = 0;
    bool m_upperControls = false;
    int m_msb = -1; // -1 as sent, else bit 7 forced to this
    GraphicsLetters m_letters = DefaultGraphicsLetters;

    // Where the current line began in the page's lists: CAN and DEL act on the line buffer.
    qsizetype m_lineRuns = 0;
    qsizetype m_lineRunLength = 0;
    qsizetype m_lineFrames = 0;
    qint64 m_lineX = 0;
    bool m_lastWasFrame = false;
};

} // namespace ostrevo
