#pragma once

#include <cstdint>

namespace thermalserial {

// What the driver answers besides 0 (accepted) and the printer's own error numbers
// (1 to 255, from its #Z or #E replies). Negative numbers are the driver's own; the
// monitor reports -1 to -10 as 301 to 310 and -20 to -29 as 320 to 329.
enum ResultCode : std::int32_t {
    rcAccepted = 0,
    rcPortCannotOpen = -1, // no such device, not a serial port, no permission
    rcNoAnswer = -2,       // not even a DLE status byte within the answer time
    rcChecksum = -3,       // the printer read a bad check byte, twice running
    rcPortLost = -4,       // the port vanished or failed while in use (cable, USB adapter)
    rcPortInUse = -5,      // another program holds the port
    rcPrinterBusy = -6,    // it answers DLE but did not finish the command in its time
    rcPaperOut = -7,       // DLE says: out of paper, or its battery is flat
    rcPrinterFault = -8,   // DLE says: mechanism or controller error
    rcNotOpen = -9,        // a call without an open port, or without its block
    rcBadSettings = -10,   // [Porty] in Ostrevo.ini names settings a port cannot take
    rcBadQuantity = -20,   // a quantity the printer cannot take (more than 10 digits, ...)
    rcBadAmount = -21,     // an amount the printer cannot take (not a number, too big)
};

} // namespace thermalserial
