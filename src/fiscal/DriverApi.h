#pragma once

// The functions of the two fiscal driver libraries, as the program calls them: C calling
// convention, 32-bit integers, NUL-terminated 8-bit texts, int32_t * for the address of a
// value. Libraries that take the drivers' places (the simulators, a serial driver)
// export exactly these names.

#include "fiscal/ThermalBlocks.h"

#include <cstdint>

namespace ostrevo {

// libElzabdr.so (Elzabdr.dll)
namespace elzab {
extern "C" {
using CommunicationInitFn = std::int32_t(std::int32_t port, std::int32_t baud, std::int32_t timeout);
using NoArgumentFn = std::int32_t(); // CommunicationEnd, ReceiptBegin, ReceiptCancel, ...
using OneArgumentFn = std::int32_t(std::int32_t); // ReceiptEnd, DailyReport, OpenDrawer
using ReceiptItemFn = std::int32_t(std::int32_t kind, const char *name, std::int32_t vatGroup, std::int32_t zero,
                                   std::int32_t quantity, std::int32_t decimals, const char *text,
                                   std::int32_t unitPrice, std::int32_t *lineValue);
using CharsInArticleNameFn = std::int32_t(const char *name);
using FillLinesFn = std::int32_t(std::int32_t line, const char *text, std::int32_t *counter);
using PeriodReportFn = std::int32_t(std::int32_t mode, std::int32_t startYear, std::int32_t startMonth,
                                    std::int32_t startDay, std::int32_t endYear, std::int32_t endMonth,
                                    std::int32_t endDay);
using DisplayFn = std::int32_t(std::int32_t line, const char *text); // pDisplayFP600
}
} // namespace elzab

// libThermalServiceLibrary.so (ThermalServiceLibrary.dll)
namespace thermal {
extern "C" {
using PortOpenFn = std::int32_t(const char *port, std::int32_t baud);
using NoArgumentFn = std::int32_t(); // p_Port_Close, p_LBCASREP
using OneArgumentFn = std::int32_t(std::int32_t); // p_LBSERM, p_LBTRSHDR
using TransactionLineFn = std::int32_t(const TransactionLineBlock *block);
using TransactionEndFn = std::int32_t(const TransactionEndBlock *block);
using CancelFn = std::int32_t(const char *till, const char *cashier);
using DailyReportFn = std::int32_t(const DailyReportBlock *block);
using PeriodicReportFn = std::int32_t(const PeriodicReportBlock *block);
using DisplayFn = std::int32_t(std::int32_t mode, const char *text);
}
} // namespace thermal

} // namespace ostrevo
