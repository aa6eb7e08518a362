// The serial Thermal driver's own pieces: check bytes against the protocol's worked values,
// the texts and numbers it sends, the replies it reads, the [Porty] settings.

#include "PortSettings.h"
#include "ReplyReader.h"
#include "ResultCodes.h"
#include "ThermalCommands.h"
#include "ThermalFrame.h"

#include "fiscal/LowArena.h"

#include <QByteArray>
#include <QFile>

#include <gtest/gtest.h>

#include <string>

using namespace thermalserial;

namespace {

std::string B(const char *text)
{
    return text;
}

} // namespace

TEST(ThermalProtocol, CheckBytesOfTheWorkedExamples)
{
    const struct {
        const char *body;
        const char *check;
    } worked[] = {
        {"1#e", "88"}, {"3#e", "8A"}, {"0#e", "89"}, {"0$h", "83"}, {"0;1$h#FV/123\r", "A8"},
        {"1$lChleb\r1\rA/2.50/2.50/", "99"}, {"2$lMleko\r2\rB/3.10/6.20/", "9C"},
        {"1;2;1$lTowar 1\r1\rA/80/80/15/", "BF"}, {"0$e", "8E"}, {"0;0;0$e1\rJan\r", "FA"},
        {"1;0$e001\r10/8.70/", "A8"}, {"0;0;0;0;0;0;0;0;0;0;1;0$y1\rJan\r\r8.70/8.70/0/10/0/", "CF"},
        {"#r", "AE"}, {"1;24;5;17#r", "91"}, {"24;5;1;24;5;17;0#o", "B4"}, {"16#o1/30/", "86"},
        {"23#k1\rJan Kowalski\r", "CD"}, {"#j", "B6"}, {"1$l\xA1\xA2\x92\x8D\r1\rA/1/1/", "C5"},
    };
    for (const auto &w : worked) {
        EXPECT_EQ(CheckByte(w.body), w.check) << w.body;
        EXPECT_EQ(Frame(w.body), "\x1bP" + B(w.body) + w.check + "\x1b\\") << w.body;
    }
    // Zero-padded: a check below 0x10.
    EXPECT_EQ(CheckByte("\xF0"), "0F");
    EXPECT_EQ(Frame("2$d19.99", false), "\x1bP2$d19.99\x1b\\");
    EXPECT_EQ(CommandId("24;5;1;24;5;17;0#o"), "#o");
    EXPECT_EQ(CommandId("#r"), "#r");
    EXPECT_EQ(CommandId("12;3"), "");
}

TEST(ThermalProtocol, TextsAndNumbers)
{
    // Control bytes would end or break the frame; other bytes outside the printer's set
    // print as '?'; the Polish letters of Mazovia stay.
    EXPECT_EQ(PrinterText("  Chleb\r\x1b" "ab\x84\xA1\x7F ", 40), "Chleb  ab?\xA1");
    EXPECT_EQ(PrinterText(std::string(60, 'x'), 40), std::string(40, 'x'));
    EXPECT_EQ(PrinterText("abc      def", 5), "abc");
    EXPECT_EQ(PrinterText("\r\n", 40), "");

    EXPECT_EQ(PrinterAmount("4.50"), "4.50");
    EXPECT_EQ(PrinterAmount("0.05"), "0.05");
    EXPECT_EQ(PrinterAmount("007.5"), "7.5");
    EXPECT_EQ(PrinterAmount("12"), "12");
    EXPECT_EQ(PrinterAmount("99999999.99"), "99999999.99");
    for (const char *bad : {"", ".", "1.234", "4,50", "-1.00", "123456789.00", "1 2", "0x10"})
        EXPECT_FALSE(PrinterAmount(bad).has_value()) << bad;

    EXPECT_EQ(PrinterQuantity("1.500"), "1.500");
    EXPECT_EQ(PrinterQuantity("1500"), "1500");
    EXPECT_EQ(PrinterQuantity("00000001.500"), "1.5"); // 11 digits, 2 of them significant
    EXPECT_EQ(PrinterQuantity("0000001.500"), "0000001.500"); // 10 digits go as they are
    EXPECT_EQ(PrinterQuantity("0.000000005"), "0.000000005");
    for (const char *bad : {"", "12345678901", "123456789.01", "1,5", "1.5.0", "-1"})
        EXPECT_FALSE(PrinterQuantity(bad).has_value()) << bad;
}

TEST(ThermalProtocol, CommandBodies)
{
    using namespace ostrevo;
    using namespace ostrevo::thermal;
    LowArena arena;
    auto *line = arena.place<TransactionLineBlock>();
    line->lineNumber = 7;
    line->name = arena.text(QByteArrayLiteral("  Mleko "));
    line->quantity = arena.text(QByteArrayLiteral("2"));
    line->vatGroup = 'b';
    line->unitPrice = arena.text(QByteArrayLiteral("3.10"));
    line->lineValue = arena.text(QByteArrayLiteral("6.20"));
    std::string body;
    EXPECT_EQ(LineBody(line, body), rcAccepted);
    EXPECT_EQ(body, "7$lMleko\r2\rB/3.10/6.20/");
    line->quantity = arena.text(QByteArrayLiteral("12345678901"));
    EXPECT_EQ(LineBody(line, body), rcBadQuantity);
    line->quantity = arena.text(QByteArrayLiteral("1"));
    line->lineValue = arena.text(QByteArrayLiteral("-6.20"));
    EXPECT_EQ(LineBody(line, body), rcBadAmount);
    EXPECT_EQ(LineBody(nullptr, body), rcNotOpen);

    EXPECT_EQ(CancelBody("001", "KIEROWNIK"), "0;0;0$e001\rKIEROWNIK\r");
    EXPECT_EQ(CancelBody("123456789", "KIEROWNIK ZMIANY NOCNEJ"), "0;0;0$e12345678\rKIEROWNIK ZMIANY\r");
    EXPECT_EQ(CancelBody(nullptr, nullptr), "0$e");

    // At most 10 letters in a system number; digits and punctuation are free. The
    // document's kind word goes: the printer labels the field itself, and the number
    // keeps all ten letters.
    EXPECT_EQ(SystemNumber("Paragon 12"), "12");
    EXPECT_EQ(SystemNumber("Paragon ABC/2026/77"), "ABC/2026/77");
    EXPECT_EQ(SystemNumber("Faktura VAT FV/2024/12345"), "VAT FV/2024/12345");
    EXPECT_EQ(SystemNumber("Zamowienie hurtowe 17"), "Zamowienie");
    EXPECT_EQ(SystemNumber("Rachunek 2024/12/31/000123456789012345"), "2024/12/31/000123456789012345");

    DailyReportBlock daily{};
    EXPECT_EQ(DailyReportBody(&daily, 2024, 5, 17, body), rcAccepted);
    EXPECT_EQ(body, "1;24;5;17#r");
    PeriodicReportBlock periodic{99, 12, 1, 0, 1, 15, 1, {}};
    EXPECT_EQ(PeriodicReportBody(&periodic, body), rcAccepted);
    EXPECT_EQ(body, "99;12;1;0;1;15;1#o");
    EXPECT_EQ(DisplayBody(2, "  19.99\r"), "2$d19.99");
    EXPECT_EQ(DisplayBody(4, nullptr), "4$d");
    EXPECT_EQ(DisplayBody(2, "123456789012345678901234"), "2$d12345678901234567890");
}

TEST(ThermalProtocol, Replies)
{
    ReplyReader reader;
    std::vector<Reply> replies;
    auto feed = [&](const std::string &bytes) {
        replies.clear();
        for (const char c : bytes) {
            Reply reply;
            if (reader.take(c, reply))
                replies.push_back(reply);
        }
    };
    // Noise, a DLE and an ENQ status, an error status, a frame restarted, a frame broken.
    feed("xy\x74\x6D\x1bP0#Z$h\x1b\\\x1bP12\x1bP1#E5\x1b\\\x1bP0#Z\x1bX12\x1b\\");
    ASSERT_EQ(replies.size(), 4u);
    EXPECT_EQ(replies[0].kind, Reply::DleStatus);
    EXPECT_EQ(replies[0].status, 0x74);
    EXPECT_EQ(replies[1].kind, Reply::EnqStatus);
    EXPECT_EQ(replies[2].body, "0#Z$h");
    EXPECT_EQ(replies[3].body, "1#E5");
    // Status bytes inside a frame belong to it.
    feed("\x1bP0#Z#r\x1b\\");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].body, "0#Z#r");

    const auto status = ParseErrorStatus("150#Z$l");
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->error, 150);
    EXPECT_EQ(status->command, "$l");
    EXPECT_FALSE(ParseErrorStatus("#Z$l").has_value());
    EXPECT_FALSE(ParseErrorStatus("1x#Z$l").has_value());
    EXPECT_FALSE(ParseErrorStatus("0#Z$").has_value());
    EXPECT_EQ(ParseErrorNumber("1#E255"), 255);
    EXPECT_FALSE(ParseErrorNumber("1#E").has_value());
}

TEST(ThermalProtocol, PortSettingsFromTheIniFile)
{
    const std::string ini = "[Opcje]\r\nCOM2=/dev/wrong\r\n[porty]\r\n; a comment\r\ncom2 = \"/dev/ttyUSB0\"\r\n"
                            "COM2=/dev/second\r\nFormat=7e2\r\nPrzeplyw=RTS/CTS\r\nCzasRaportu=900000\r\n"
                            "[Porty]\r\nCOM3=/dev/ignored\r\n";
    std::string error;
    const auto com2 = ReadPortSettings(ini, 2, 9600, error);
    ASSERT_TRUE(com2.has_value()) << error;
    EXPECT_EQ(com2->device, "/dev/ttyUSB0");
    EXPECT_EQ(com2->baud, 9600);
    EXPECT_EQ(com2->dataBits, 7);
    EXPECT_EQ(com2->parity, 'E');
    EXPECT_EQ(com2->stopBits, 2);
    EXPECT_EQ(com2->flow, FlowControl::RtsCts);
    EXPECT_EQ(com2->timeouts.report, 900000);
    EXPECT_EQ(com2->timeouts.answer, 3000);
    // The second [Porty] does not count; without a key the port is /dev/ttyS<n-1>.
    EXPECT_EQ(ReadPortSettings(ini, 3, 9600, error)->device, "/dev/ttyS2");
    EXPECT_EQ(ReadPortSettings("", 1, 9600, error)->device, "/dev/ttyS0");

    for (const char *bad : {"Predkosc=9601", "Predkosc=szybko", "Format=8N3", "Format=8X1", "Przeplyw=tak",
                            "CzasOdpowiedzi=0", "CzasWydruku=-5"}) {
        error.clear();
        EXPECT_FALSE(ReadPortSettings("[Porty]\n" + B(bad) + "\n", 1, 9600, error).has_value()) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    EXPECT_EQ(ReadPortSettings("[Porty]\nPredkosc=19200\n", 1, 9600, error)->baud, 19200);

    // The README's example, as it stands there, comments and all.
    QFile readmeFile(QStringLiteral(OSTREVO_SOURCE_PATH "/README.md"));
    ASSERT_TRUE(readmeFile.open(QIODevice::ReadOnly));
    const std::string readme = readmeFile.readAll().toStdString();
    const std::size_t start = readme.find("[Porty]");
    ASSERT_NE(start, std::string::npos);
    const std::string example = readme.substr(start, readme.find("```", start) - start);
    error.clear();
    const auto documented = ReadPortSettings(example, 1, 9600, error);
    ASSERT_TRUE(documented.has_value()) << error;
    EXPECT_EQ(documented->device, "/dev/ttyUSB0");
    EXPECT_EQ(documented->baud, 9600);
    EXPECT_EQ(documented->flow, FlowControl::None);
    EXPECT_EQ(documented->timeouts.printing, 30000);
    EXPECT_EQ(documented->timeouts.report, 600000);
    // A ';' inside a value without a blank before it stays part of it.
    EXPECT_EQ(ReadPortSettings("[Porty]\nCOM1=/dev/serial/by-id/usb;1\n", 1, 9600, error)->device, "/dev/serial/by-id/usb;1");

    EXPECT_EQ(ComNumber("COM1"), 1);
    EXPECT_EQ(ComNumber("com255"), 255);
    for (const char *bad : {"COM0", "COM256", "COM", "COM01", "COM2 ", "LPT1"})
        EXPECT_EQ(ComNumber(bad), 0) << bad;
    EXPECT_EQ(ComNumber(nullptr), 0);
}
