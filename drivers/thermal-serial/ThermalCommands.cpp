#include "ThermalCommands.h"

#include "ResultCodes.h"
#include "ThermalFrame.h"

#include <cctype>
#include <cstdint>

namespace thermalserial {

using namespace ostrevo::thermal;

namespace {

// An address field: the text it points to, "" for none.
const char *At(Address32 address)
{
    return address ? reinterpret_cast<const char *>(std::uintptr_t(address)) : "";
}

bool IsLetter(unsigned char c)
{
    // ASCII letters and, above 127, the Polish letters: nothing else survives PrinterText.
    return std::isalpha(c) || c >= 0x80;
}

std::string Number(int value)
{
    return std::to_string(value);
}

// Printer limits on text fields.
constexpr std::size_t NameLength = 40;
constexpr std::size_t FooterLength = 40;
constexpr std::size_t TillLength = 8;
constexpr std::size_t CashierLength = 17;
constexpr std::size_t DisplayLength = 20;

} // namespace

std::string HeaderBody()
{
    return "0$h";
}

std::string CancelBody(const char *till, const char *cashier)
{
    if (!till && !cashier)
        return "0$e";
    return "0;0;0$e" + PrinterText(till ? till : "", TillLength) + '\r' + PrinterText(cashier ? cashier : "", CashierLength)
           + '\r';
}

int LineBody(const TransactionLineBlock *block, std::string &body)
{
    if (!block)
        return rcNotOpen;
    const auto quantity = PrinterQuantity(At(block->quantity));
    if (!quantity)
        return rcBadQuantity;
    const auto price = PrinterAmount(At(block->unitPrice));
    const auto value = PrinterAmount(At(block->lineValue));
    if (!price || !value)
        return rcBadAmount;
    const char group = char(std::toupper(static_cast<unsigned char>(block->vatGroup)));
    body = Number(block->lineNumber) + "$l" + PrinterText(At(block->name), NameLength) + '\r' + *quantity + '\r' + group
           + '/' + *price + '/' + *value + '/';
    return rcAccepted;
}

std::string SystemNumber(const std::string &text)
{
    // The printer labels the field itself ("Nr sys."), and counts its letters (ten at
    // most): the document's kind word would leave three of them for the number.
    std::string stripped = text;
    for (const char *kind : {"Paragon ", "Faktura ", "Rachunek "}) {
        if (stripped.rfind(kind, 0) == 0) {
            stripped.erase(0, std::char_traits<char>::length(kind));
            break;
        }
    }
    std::string number = PrinterText(stripped, 30);
    int letters = 0;
    for (std::size_t k = 0; k < number.size(); ++k) {
        if (IsLetter(static_cast<unsigned char>(number[k])) && ++letters > 10) {
            number.resize(k);
            break;
        }
    }
    while (!number.empty() && number.back() == ' ')
        number.pop_back();
    return number;
}

int EndBody(const TransactionEndBlock *block, std::string &body)
{
    if (!block)
        return rcNotOpen;
    const auto total = PrinterAmount(At(block->total55));
    if (!total)
        return rcBadAmount;
    const auto *formByte = reinterpret_cast<const std::uint8_t *>(std::uintptr_t(block->paymentForm));
    const int form = formByte && (*formByte == 1 || *formByte == 2) ? *formByte : 0; // 0 cash, 1 card, 2 cheque
    const std::string footer = PrinterText(At(block->extraLine), FooterLength);
    const std::string systemNumber = SystemNumber(At(block->documentText));

    // Pn;Pc;Py;Pdsp;Px;Pkb;Pkz;Pns;Pfn;Pr;Pg;[Pfx;]Psx: footer lines, normal end, full
    // summary, DSP positive, no discount, no deposits, the system number, the payment
    // forms other than cash, change left to the printer, cash or not, their types, no
    // discount label.
    body = Number(footer.empty() ? 0 : 1) + ";0;0;0;0;0;0;" + Number(systemNumber.empty() ? 0 : 1) + ';'
           + (form == 0 ? "0;0;1;" : "1;0;0;" + Number(form) + ';') + "0$y";
    body += std::string(Till) + '\r' + Cashier + '\r' + systemNumber + '\r';
    if (!footer.empty())
        body += footer + '\r';
    if (form != 0)
        body += std::string(form == 1 ? "Karta" : "Czek") + '\r';
    // TOTAL / DSP / DISC / CASH / [PAY1 /] CHANGE /
    body += *total + '/' + *total + "/0/" + (form == 0 ? *total : std::string("0")) + '/';
    if (form != 0)
        body += *total + '/';
    body += "0/";
    return rcAccepted;
}

int DailyReportBody(const DailyReportBlock *block, int year, int month, int day, std::string &body)
{
    if (!block)
        return rcNotOpen;
    body = "1;" + Number(year % 100) + ';' + Number(month) + ';' + Number(day) + "#r";
    return rcAccepted;
}

int PeriodicReportBody(const PeriodicReportBlock *block, std::string &body)
{
    if (!block)
        return rcNotOpen;
    body = Number(block->startYear) + ';' + Number(block->startMonth) + ';' + Number(block->startDay) + ';'
           + Number(block->endYear) + ';' + Number(block->endMonth) + ';' + Number(block->endDay) + ';'
           + Number(block->mode) + "#o";
    return rcAccepted;
}

std::string CasReportBody()
{
    return "#j";
}

std::string DisplayBody(int mode, const char *text)
{
    std::string body = Number(mode) + "$d";
    if (mode == 2 && text)
        body += PrinterText(text, DisplayLength);
    return body;
}

} // namespace thermalserial
