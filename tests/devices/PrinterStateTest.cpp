// The order rules of the printer object and their messages, on the built-in printer.

#include "devices/TPrinter.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace ostrevo;

namespace {

void ExpectPrinterError(const std::function<void()> &action, const char *message)
{
    try {
        action();
        ADD_FAILURE() << "expected \"" << message << "\"";
    } catch (const PrinterError &e) {
        EXPECT_STREQ(e.what(), message);
    }
}

class PrinterStateTest : public ::testing::Test {
protected:
    void SetUp() override { m_printer.setBuiltinDirectory(m_tmp.path()); }
    QTemporaryDir m_tmp;
    TPrinter m_printer;
};

TEST_F(PrinterStateTest, DrawingAndPagesNeedADocumentButMeasuringDoesNot)
{
    Canvas &canvas = m_printer.canvas();
    LogFont font;
    font.height = 95;
    font.width = 60;
    canvas.setFont(font);
    canvas.setPen(CanvasPen{2, Qt::black});
    canvas.setBrush(CanvasBrush{Qt::black, BrushStyle::Solid});
    EXPECT_EQ(canvas.textWidth("X"), 60);
    EXPECT_EQ(canvas.textHeight("X"), 95);

    const char *notPrinting = "Printer is not currently printing";
    ExpectPrinterError([&] { canvas.textOut(0, 0, "X"); }, notPrinting);
    ExpectPrinterError([&] { canvas.moveTo(0, 0); }, notPrinting);
    ExpectPrinterError([&] { canvas.lineTo(10, 10); }, notPrinting);
    ExpectPrinterError([&] { canvas.rectangle(QRect(0, 0, 5, 5)); }, notPrinting);
    ExpectPrinterError([&] { canvas.polygon(QPolygon(QRect(0, 0, 5, 5))); }, notPrinting);
    ExpectPrinterError([&] { m_printer.newPage(); }, notPrinting);
    ExpectPrinterError([&] { m_printer.endDoc(); }, notPrinting);
    ExpectPrinterError([&] { m_printer.abort(); }, notPrinting);

    EXPECT_EQ(m_printer.pageNumber(), 0);
    m_printer.beginDoc();
    EXPECT_TRUE(m_printer.printing());
    EXPECT_EQ(m_printer.pageNumber(), 1);
    canvas.moveTo(0, 0);
    canvas.lineTo(100, 100);
    canvas.rectangle(QRect(0, 0, 5, 5));
    canvas.polygon(QPolygon(QRect(0, 0, 5, 5)));
    canvas.textOut(0, 0, "X");
    m_printer.newPage();
    m_printer.newPage();
    EXPECT_EQ(m_printer.pageNumber(), 3);
    m_printer.endDoc();
    EXPECT_EQ(m_printer.pageNumber(), 0);
    EXPECT_FALSE(m_printer.printing());
    ExpectPrinterError([&] { canvas.textOut(0, 0, "X"); }, notPrinting);
}

TEST_F(PrinterStateTest, SettingsAreRefusedWhilePrinting)
{
    m_printer.beginDoc();
    const char *inProgress = "Printing in progress";
    ExpectPrinterError([&] { m_printer.beginDoc(); }, inProgress);
    ExpectPrinterError([&] { m_printer.setPrinterIndex(0); }, inProgress);
    ExpectPrinterError([&] { m_printer.setPrinterIndex(-1); }, inProgress);
    ExpectPrinterError([&] { m_printer.setCopies(2); }, inProgress);
    ExpectPrinterError([&] { m_printer.setOrientation(1); }, inProgress);
    ExpectPrinterError([&] { m_printer.SetDuplex(2); }, inProgress);
    // Reading the two-sided setting is allowed.
    EXPECT_EQ(m_printer.GetDuplex(), 0);
    m_printer.endDoc();
}

TEST_F(PrinterStateTest, IndexOutsideTheListIsRefused)
{
    ExpectPrinterError([&] { m_printer.setPrinterIndex(1); }, "Printer index out of range");
    ExpectPrinterError([&] { m_printer.setPrinterIndex(-2); }, "Printer index out of range");
    // The default printer was chosen on the way.
    EXPECT_EQ(m_printer.printerIndex(), 0);
}

TEST_F(PrinterStateTest, ChoosingAgainReloadsTheDefaults)
{
    m_printer.SetDuplex(1);
    EXPECT_EQ(m_printer.GetDuplex(), 1);
    m_printer.SetDuplex(2);
    EXPECT_EQ(m_printer.GetDuplex(), 2);
    m_printer.setCopies(3);
    EXPECT_EQ(m_printer.copies(), 3);
    m_printer.setPrinterIndex(m_printer.printerIndex());
    EXPECT_EQ(m_printer.GetDuplex(), 0);
    EXPECT_EQ(m_printer.copies(), 1);
    m_printer.SetDuplex(7);
    EXPECT_EQ(m_printer.GetDuplex(), 0);
}

TEST(SelectPrinterByName, MatchesExactlyAndKeepsTheChoiceOtherwise)
{
    QTemporaryDir tmp;
    Printer().setBuiltinDirectory(tmp.path());
    EXPECT_EQ(SelectPrinterByName(QStringLiteral("ostrevo pdf")), -1);
    EXPECT_EQ(SelectPrinterByName(QStringLiteral("Brak")), -1);
    EXPECT_EQ(Printer().printerIndex(), 0);
    Printer().SetDuplex(2);
    EXPECT_EQ(SelectPrinterByName(BuiltinPrinterName()), 0);
    EXPECT_EQ(Printer().GetDuplex(), 0);
    Printer().setPrinterIndex(-1);
    EXPECT_EQ(Printer().printerIndex(), 0);

    Printer().beginDoc();
    ExpectPrinterError([] { SelectPrinterByName(BuiltinPrinterName()); }, "Printing in progress");
    Printer().abort();
}

TEST(ResetPrinterCanvas, GivesTheNeutralState)
{
    LogFont big;
    big.height = 300;
    Printer().canvas().setFont(big);
    Printer().canvas().setPen(CanvasPen{5, Qt::red});
    ResetPrinterCanvas();
    const LogFont &font = Printer().canvas().font();
    EXPECT_EQ(font.faceName, QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(font.height, -67); // 8 points at 600 dpi
    EXPECT_EQ(font.charSet, 1);
    EXPECT_EQ(font.weight, 400);
    EXPECT_FALSE(font.italic || font.underline || font.strikeOut);
    EXPECT_EQ(Printer().canvas().pen(), (CanvasPen{1, Qt::black}));
}

} // namespace
