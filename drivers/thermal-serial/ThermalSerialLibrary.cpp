// libThermalServiceLibrary.so for printers that speak the Thermal protocol on a serial or
// USB-serial port: the program's calls become command frames, and each returns once the
// printer has accepted the command (0), refused it (its error number), or a ResultCode
// says why no verdict came. One port at a time; p_Port_Close, or unloading the library,
// releases it.

#include "FailureLog.h"
#include "ResultCodes.h"
#include "ThermalCommands.h"
#include "ThermalLink.h"
#include "shared/LibraryDirectory.h"

#include "fiscal/ThermalBlocks.h"

#include <cstdint>
#include <ctime>

using namespace thermalserial;
using namespace ostrevo::thermal;

namespace {

// Created at load, destroyed at unload: no static object outlives the library.
ThermalLink *g_link = nullptr;

__attribute__((constructor)) void OnLoad()
{
    g_link = new ThermalLink;
}

__attribute__((destructor)) void OnUnload()
{
    delete g_link; // closes the port if the program did not
    g_link = nullptr;
}

// Every call's result passes here: a failure goes into the log, with its reason.
std::int32_t Logged(const char *function, std::int32_t result)
{
    std::string why = g_link->takeProblem();
    if (result == rcAccepted)
        return result;
    if (why.empty()) {
        why = result == rcBadQuantity ? "a quantity the printer cannot take"
              : result == rcBadAmount ? "an amount the printer cannot take"
              : result == rcNotOpen   ? "called without its block"
              : result > 0            ? "the printer refused the command with its error " + std::to_string(result)
                                      : std::string();
    }
    LogFailure(driverlib::LibraryDirectory(), function, result, why);
    return result;
}

std::int32_t Send(const char *function, int prepared, const std::string &body, Duration duration)
{
    return Logged(function, prepared != rcAccepted ? prepared : g_link->command(body, duration));
}

} // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT std::int32_t p_Port_Open(const char *port, std::int32_t baud)
{
    return Logged("p_Port_Open", g_link->open(port, baud, driverlib::LibraryDirectory() + "Ostrevo.ini"));
}

EXPORT std::int32_t p_Port_Close()
{
    g_link->close();
    return rcAccepted;
}

EXPORT std::int32_t p_LBSERM(std::int32_t mode)
{
    const int result = g_link->setErrorMode(mode);
    if (result != rcAccepted)
        return Logged("p_LBSERM", result);
    // Every operation begins here: a transaction that an earlier job had to leave open (its
    // printer fell silent before the cancel) is cancelled now that the printer answers,
    // not only before the next receipt; a report would be refused while it stays open.
    const int status = g_link->enquire();
    if (status >= 0 && (status & EnqInTransaction)) {
        if (const int cancelled = g_link->command(CancelBody(nullptr, nullptr), Duration::Printing); cancelled < 0)
            return Logged("p_LBSERM", cancelled);
    }
    return rcAccepted;
}

EXPORT std::int32_t p_LBTRSHDR(std::int32_t /*lines: always on-line, every line printed as it comes*/)
{
    // A transaction left open was cancelled by p_LBSERM, which begins every operation.
    return Logged("p_LBTRSHDR", g_link->command(HeaderBody(), Duration::Answer));
}

EXPORT std::int32_t p_LBTRSLN(const TransactionLineBlock *block)
{
    std::string body;
    const int prepared = LineBody(block, body);
    return Send("p_LBTRSLN", prepared, body, Duration::Answer);
}

EXPORT std::int32_t p_LBTRXEND1(const TransactionEndBlock *block)
{
    std::string body;
    const int prepared = EndBody(block, body);
    if (prepared != rcAccepted)
        return Logged("p_LBTRXEND1", prepared);
    const int result = g_link->command(body, Duration::Printing);
    if (result != rcPrinterBusy && result != rcPaperOut)
        return Logged("p_LBTRXEND1", result);
    // No verdict in time, but the printer is there (a slow end, a paper change): what it
    // did with the receipt is asked of it once it answers again, so that a receipt it has
    // printed is never reported as failed, and sent again by the cashier.
    const std::string late = g_link->takeProblem();
    const int status = g_link->statusWhenBack(g_link->printingTime());
    if (status >= 0 && (status & EnqTransactionEnded) && !(status & EnqInTransaction)) {
        LogFailure(driverlib::LibraryDirectory(), "p_LBTRXEND1", rcAccepted,
                   late + "; the printer says afterwards that the receipt ended: reported as printed");
        return rcAccepted;
    }
    return Logged("p_LBTRXEND1", result);
}

EXPORT std::int32_t p_LBTREXITCAN(const char *till, const char *cashier)
{
    return Logged("p_LBTREXITCAN", g_link->command(CancelBody(till, cashier), Duration::Printing));
}

EXPORT std::int32_t p_LBDAYREP(const DailyReportBlock *block)
{
    // The printer compares the date with its own clock; ours is the same day.
    const std::time_t now = std::time(nullptr);
    std::tm today{};
    ::localtime_r(&now, &today);
    std::string body;
    const int prepared = DailyReportBody(block, today.tm_year + 1900, today.tm_mon + 1, today.tm_mday, body);
    return Send("p_LBDAYREP", prepared, body, Duration::Report);
}

EXPORT std::int32_t p_LBFSKREP_D(const PeriodicReportBlock *block)
{
    std::string body;
    const int prepared = PeriodicReportBody(block, body);
    return Send("p_LBFSKREP_D", prepared, body, Duration::Report);
}

EXPORT std::int32_t p_LBCASREP()
{
    return Logged("p_LBCASREP", g_link->command(CasReportBody(), Duration::Report));
}

EXPORT std::int32_t p_LBDSP(std::int32_t mode, const char *text)
{
    // The display's text is shown as sent: a check byte would appear on it.
    return Logged("p_LBDSP", g_link->command(DisplayBody(mode, text), Duration::Answer, false));
}
