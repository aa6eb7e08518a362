// What the serial Thermal driver reads from outside: the printer's bytes (status bytes,
// reply frames) and [Porty] of Ostrevo.ini; and the texts and numbers it puts in frames.
#include "PortSettings.h"
#include "ReplyReader.h"
#include "ThermalFrame.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace thermalserial;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);

    ReplyReader reader;
    for (const char c : bytes) {
        Reply reply;
        if (!reader.take(c, reply))
            continue;
        if (reply.kind != Reply::FrameBody && (reply.status < 0x60 || reply.status > 0x77))
            std::abort();
        if (const auto status = ParseErrorStatus(reply.body); status && (status->error < 0 || status->command.size() != 2))
            std::abort();
        if (const auto number = ParseErrorNumber(reply.body); number && *number < 0)
            std::abort();
    }

    std::string error;
    if (const auto settings = ReadPortSettings(bytes, 1 + int(size % 255), 9600, error)) {
        if (settings->device.empty() || settings->timeouts.answer < 10 || settings->dataBits < 5)
            std::abort();
    } else if (error.empty()) {
        std::abort();
    }

    // A text field never holds a byte that would end or break its frame.
    for (const char c : PrinterText(bytes, 40)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            std::abort();
    }
    if (PrinterText(bytes, 40).size() > 40)
        std::abort();
    const std::string head = bytes.substr(0, 16);
    if (const auto amount = PrinterAmount(head); amount && amount->find_first_not_of("0123456789.") != std::string::npos)
        std::abort();
    if (const auto quantity = PrinterQuantity(head); quantity && quantity->find_first_not_of("0123456789.") != std::string::npos)
        std::abort();
    return 0;
}
