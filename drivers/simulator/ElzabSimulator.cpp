// libElzabdr.so, simulated: every call is logged, every result is 0 unless the script
// says otherwise; CharsInArticleName counts the name's bytes, and FillLines counts the
// lines filled in the integer it is given. Port 0 does not exist (-1). Built with
// SIMULATOR_INCOMPLETE, it lacks EraseLines.

#include "simulator/SimulatorLog.h"

#include <cstdint>
#include <cstring>
#include <string>

using namespace simulator;

namespace {

std::string T(const char *text)
{
    return Text(text, CodePage::Cp852);
}

std::string N(std::int64_t value)
{
    return Number(value);
}

std::string Ref(const std::int32_t *value)
{
    return value ? Number(*value) : std::string("null");
}

std::int32_t Plain(const char *function)
{
    const std::int32_t result = Result(function, 0);
    LogCall(function, "", result);
    return result;
}

__attribute__((constructor)) void OnLoad()
{
    Loaded();
}

__attribute__((destructor)) void OnUnload()
{
    Unloaded();
}

} // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT std::int32_t CommunicationInit(std::int32_t port, std::int32_t baud, std::int32_t timeout)
{
    const std::int32_t result = Result("CommunicationInit", port < 1 ? -1 : 0);
    LogCall("CommunicationInit", N(port) + ", " + N(baud) + ", " + N(timeout), result);
    return result;
}

EXPORT std::int32_t CommunicationEnd() { return Plain("CommunicationEnd"); }
EXPORT std::int32_t ReceiptBegin() { return Plain("ReceiptBegin"); }
EXPORT std::int32_t ReceiptCancel() { return Plain("ReceiptCancel"); }
EXPORT std::int32_t ErasePayments() { return Plain("ErasePayments"); }
#if !SIMULATOR_INCOMPLETE
EXPORT std::int32_t EraseLines() { return Plain("EraseLines"); }
#endif
EXPORT std::int32_t PrinterStatusReport() { return Plain("PrinterStatusReport"); }
EXPORT std::int32_t LockedArticlesReport() { return Plain("LockedArticlesReport"); }

EXPORT std::int32_t ReceiptItem(std::int32_t kind, const char *name, std::int32_t vatGroup, std::int32_t zero,
                                std::int32_t quantity, std::int32_t decimals, const char *text,
                                std::int32_t unitPrice, std::int32_t *lineValue)
{
    const std::int32_t result = Result("ReceiptItem", 0);
    LogCall("ReceiptItem",
            N(kind) + ", " + T(name) + ", " + N(vatGroup) + ", " + N(zero) + ", " + N(quantity) + ", " + N(decimals)
                + ", " + T(text) + ", " + N(unitPrice) + ", " + Ref(lineValue),
            result);
    return result;
}

EXPORT std::int32_t CharsInArticleName(const char *name)
{
    const std::int32_t result = Result("CharsInArticleName", name ? std::int32_t(std::strlen(name)) : 0);
    LogCall("CharsInArticleName", T(name), result);
    return result;
}

EXPORT std::int32_t FillLines(std::int32_t line, const char *text, std::int32_t *counter)
{
    const std::int32_t result = Result("FillLines", 0);
    LogCall("FillLines", N(line) + ", " + T(text) + ", " + Ref(counter), result);
    if (result == 0 && counter)
        ++*counter;
    return result;
}

EXPORT std::int32_t ReceiptEnd(std::int32_t mode)
{
    const std::int32_t result = Result("ReceiptEnd", 0);
    LogCall("ReceiptEnd", N(mode), result);
    return result;
}

EXPORT std::int32_t DailyReport(std::int32_t mode)
{
    const std::int32_t result = Result("DailyReport", 0);
    LogCall("DailyReport", N(mode), result);
    return result;
}

EXPORT std::int32_t PeriodReport(std::int32_t mode, std::int32_t startYear, std::int32_t startMonth,
                                 std::int32_t startDay, std::int32_t endYear, std::int32_t endMonth,
                                 std::int32_t endDay)
{
    const std::int32_t result = Result("PeriodReport", 0);
    LogCall("PeriodReport",
            N(mode) + ", " + N(startYear) + ", " + N(startMonth) + ", " + N(startDay) + ", " + N(endYear) + ", "
                + N(endMonth) + ", " + N(endDay),
            result);
    return result;
}

EXPORT std::int32_t pDisplayFP600(std::int32_t line, const char *text)
{
    const std::int32_t result = Result("pDisplayFP600", 0);
    LogCall("pDisplayFP600", N(line) + ", " + T(text), result);
    return result;
}

EXPORT std::int32_t OpenDrawer(std::int32_t number)
{
    const std::int32_t result = Result("OpenDrawer", 0);
    LogCall("OpenDrawer", N(number), result);
    return result;
}
