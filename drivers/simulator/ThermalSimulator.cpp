// libThermalServiceLibrary.so, simulated: every call is logged with its blocks decoded
// field by field, every result is 0 unless the script says otherwise. A port name other
// than COM1 to COM255 does not exist (-1). Built with SIMULATOR_INCOMPLETE, it lacks
// p_LBTRSLN.

#include "fiscal/ThermalBlocks.h"
#include "simulator/SimulatorLog.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace simulator;
using namespace ostrevo::thermal;

namespace {

std::string T(const char *text)
{
    return Text(text, CodePage::Mazovia);
}

std::string N(std::int64_t value)
{
    return Number(value);
}

// An address field: the text it points to.
std::string At(Address32 address)
{
    return T(reinterpret_cast<const char *>(std::uintptr_t(address)));
}

std::string Bytes(const std::uint8_t *bytes, int count)
{
    std::string out;
    for (int k = 0; k < count; ++k)
        out += (k ? " " : "") + N(bytes[k]);
    return out;
}

// A field that points into the area A: its word number, as A0 to A10.
std::string AreaWord(Address32 address, Address32 area)
{
    const std::int64_t offset = std::int64_t(address) - std::int64_t(area);
    if (address == 0)
        return "0";
    if (offset < 0 || offset % 4 != 0 || offset / 4 > 10)
        return "outside A";
    return "A" + N(offset / 4);
}

std::string Zero(const char *name, std::uint32_t value)
{
    return std::string(", @") + name + "=" + N(value);
}

std::int32_t Plain(const char *function)
{
    const std::int32_t result = Result(function, 0);
    LogCall(function, "", result);
    return result;
}

bool PortExists(const char *name)
{
    if (!name || std::strncmp(name, "COM", 3) != 0 || name[3] < '1' || name[3] > '9')
        return false;
    char *end = nullptr;
    const long number = std::strtol(name + 3, &end, 10);
    return *end == '\0' && number >= 1 && number <= 255;
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

EXPORT std::int32_t p_Port_Open(const char *port, std::int32_t baud)
{
    const std::int32_t result = Result("p_Port_Open", PortExists(port) ? 0 : -1);
    LogCall("p_Port_Open", T(port) + ", " + N(baud), result);
    return result;
}

EXPORT std::int32_t p_Port_Close() { return Plain("p_Port_Close"); }
EXPORT std::int32_t p_LBCASREP() { return Plain("p_LBCASREP"); }

EXPORT std::int32_t p_LBSERM(std::int32_t mode)
{
    const std::int32_t result = Result("p_LBSERM", 0);
    LogCall("p_LBSERM", N(mode), result);
    return result;
}

EXPORT std::int32_t p_LBTRSHDR(std::int32_t lines)
{
    const std::int32_t result = Result("p_LBTRSHDR", 0);
    LogCall("p_LBTRSHDR", N(lines), result);
    return result;
}

#if !SIMULATOR_INCOMPLETE
EXPORT std::int32_t p_LBTRSLN(const TransactionLineBlock *b)
{
    const std::int32_t result = Result("p_LBTRSLN", 0);
    std::string s = "null";
    if (b) {
        s = "{line=" + N(b->lineNumber) + Zero("1", b->zero1) + ", name=" + At(b->name) + Zero("6", b->zero6)
            + ", quantity=" + At(b->quantity) + ", vat=" + std::string(1, b->vatGroup) + Zero("15", b->zero15)
            + ", price=" + At(b->unitPrice) + Zero("23", b->zero23) + ", value=" + At(b->lineValue)
            + Zero("31", b->zero31) + ", @35=" + At(b->discount) + "}";
    }
    LogCall("p_LBTRSLN", s, result);
    return result;
}
#endif

EXPORT std::int32_t p_LBTRXEND1(const TransactionEndBlock *b)
{
    const std::int32_t result = Result("p_LBTRXEND1", 0);
    std::string s = "null";
    if (b) {
        const Address32 area = b->areaWord0;
        const auto *form = reinterpret_cast<const std::uint8_t *>(std::uintptr_t(b->paymentForm));
        s = "{@0=" + Bytes(b->flags0, 8) + ", noncash=" + N(b->nonCash) + Zero("9", b->zero9) + ", cash=" + N(b->cash)
            + ", form=" + (form ? N(*form) : std::string("null")) + ", @15=" + At(b->emptyText)
            + ", extra=" + At(b->extraLine) + ", document=" + At(b->documentText) + Zero("27", b->zero27)
            + ", @31=" + AreaWord(b->areaWord0, area) + Zero("35", b->zero35) + ", @39=" + AreaWord(b->areaWord9, area)
            + Zero("43", b->zero43) + ", @47=" + AreaWord(b->areaWord7, area) + Zero("51", b->zero51)
            + ", @55=" + At(b->total55) + Zero("59", b->zero59) + ", @63=" + At(b->total63) + Zero("67", b->zero67)
            + ", @71=" + At(b->zeroText71) + Zero("75", b->zero75) + ", @79=" + At(b->total79)
            + ", @83=" + AreaWord(b->areaWord5, area) + Zero("87", b->zero87) + ", @91=" + At(b->zeroText91)
            + ", @95=" + AreaWord(b->areaWord3, area) + ", @99=" + AreaWord(b->areaWord1, area) + "}";
        if (area) {
            Address32 words[11];
            std::memcpy(words, reinterpret_cast<const void *>(std::uintptr_t(area)), sizeof words);
            s += ", A={";
            for (int k = 0; k < 11; ++k)
                s += (k ? ", " : "") + (words[k] ? At(words[k]) : std::string("0"));
            s += "}";
        }
    }
    LogCall("p_LBTRXEND1", s, result);
    return result;
}

EXPORT std::int32_t p_LBTREXITCAN(const char *till, const char *cashier)
{
    const std::int32_t result = Result("p_LBTREXITCAN", 0);
    LogCall("p_LBTREXITCAN", T(till) + ", " + T(cashier), result);
    return result;
}

EXPORT std::int32_t p_LBDAYREP(const DailyReportBlock *b)
{
    const std::int32_t result = Result("p_LBDAYREP", 0);
    std::string s = "null";
    if (b)
        s = "{@0=" + N(b->zero0) + ", @1=" + N(b->zero1) + ", month=" + N(b->month) + ", @4=" + Bytes(b->zero4, 8) + "}";
    LogCall("p_LBDAYREP", s, result);
    return result;
}

EXPORT std::int32_t p_LBFSKREP_D(const PeriodicReportBlock *b)
{
    const std::int32_t result = Result("p_LBFSKREP_D", 0);
    std::string s = "null";
    if (b) {
        s = "{start=" + N(b->startYear) + " " + N(b->startMonth) + " " + N(b->startDay) + ", end=" + N(b->endYear)
            + " " + N(b->endMonth) + " " + N(b->endDay) + ", mode=" + N(b->mode) + ", @7=" + Bytes(b->zero7, 8) + "}";
    }
    LogCall("p_LBFSKREP_D", s, result);
    return result;
}

EXPORT std::int32_t p_LBDSP(std::int32_t mode, const char *text)
{
    const std::int32_t result = Result("p_LBDSP", 0);
    LogCall("p_LBDSP", N(mode) + ", " + T(text), result);
    return result;
}
