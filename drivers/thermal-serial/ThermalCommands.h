#pragma once

#include "fiscal/ThermalBlocks.h"

#include <string>

namespace thermalserial {

// The command bodies (what goes between ESC P and the check byte) for the library's calls,
// from the program's parameter blocks. Texts are cut to what the printer prints, never
// refused; numbers the printer cannot take give a ResultCode instead of a body.

// Fixed values of the documents that the blocks do not carry.
inline constexpr const char *Till = "001";
inline constexpr const char *Cashier = "KIEROWNIK";

// LBTRSHDR, on-line: every line printed as it comes, whatever the number of lines.
std::string HeaderBody();
// LBTREXITCAN: the open transaction is cancelled ("0$e" alone when neither text is given).
std::string CancelBody(const char *till, const char *cashier);
// LBTRSLN: 0 and the body, or rcBadQuantity, rcBadAmount, rcNotOpen (no block).
int LineBody(const ostrevo::thermal::TransactionLineBlock *block, std::string &body);
// LBTRXEND1: the total paid in cash, by card or by cheque; the document text as the system
// number, the extra line as a footer line.
int EndBody(const ostrevo::thermal::TransactionEndBlock *block, std::string &body);
// LBDAYREP for the given day: the dated form, which needs no key press on the printer
// when the date is the printer's own.
int DailyReportBody(const ostrevo::thermal::DailyReportBlock *block, int year, int month, int day, std::string &body);
// LBFSKREP by dates: mode 0 full, 1 summary.
int PeriodicReportBody(const ostrevo::thermal::PeriodicReportBlock *block, std::string &body);
// LBCASREP
std::string CasReportBody();
// LBDSP: mode 2 shows the text; the other modes take none.
std::string DisplayBody(int mode, const char *text);

// The system number of a receipt: at most 30 characters with at most 10 letters among them.
std::string SystemNumber(const std::string &text);

} // namespace thermalserial
