#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>

namespace ostrevo {

class LineReader;

enum FiscalFamily { ffNone, ffElzab, ffThermal };

// Printer models: the DRK value must equal a name exactly, case included.
struct TDruk {
    const char *name;
    std::uint8_t code;
};
inline constexpr TDruk FiscalModels[] = {
    {"NONAME", 0}, {"OMEGA_1", 1}, {"OMEGA_2", 2}, {"FP600", 3}, {"THERMAL", 4}, {"DF300", 5},
};

// Codes that the monitor sets itself; drivers' own numbers pass through unchanged.
enum FiscalCode : int {
    fcOk = 0,
    fcPtuMissing = 1001,
    fcPtuSectionMissing = 1002,
    fcVatGroupBad = 1003,      // PTU.txt group not one character; Elzab item rate not found or not a digit
    fcThermalVatMissing = 1004,
    fcNotAvailable = 1010,
    fcReceiptWithoutData = 1011,
    fcDisplayWithoutData = 1012,
    fcReport3WithoutData = 1013,
    fcReport4WithoutData = 1014,
    fcFunction7WithoutData = 1017,
    fcUnknownModel = 1021,
    fcUnknownFunction = 1022,
    fcItemFieldCount = 1031,
    fcLineNumberBad = 1032,
    fcDecimalsBad = 1033,
    fcLineValueBad = 1034,
    fcTooManyLines = 1035,     // Thermal: more item lines than the printer numbers (255)
    fcSummaryShort = 1036,
    fcNumberBad = 1039,        // a numeric field that is not a number
    fcStartDateBad = 1041,
    fcEndDateBad = 1042,
    // The job was stopped (a kill, a power cut) after the printer may have begun: whether
    // the receipt was printed is not known, and the cashier must look at the printer
    // before sending it again.
    fcStateUnknown = 1050,
    fcThermalFunctionMissing = 1090,
    fcElzabLibraryMissing = 1098,
    fcThermalLibraryMissing = 1099,
};

// The data of a receipt. The summary line ("00" ...) gives the document and payment; the
// last one counts. Every other line is an item line, kept as it stands.
struct ReceiptData {
    QList<QByteArray> items;
    QByteArray documentKind;
    QByteArray documentNumber;
    QByteArray extraLine;  // in the job's code page
    QByteArray paymentForm;
    QByteArray total = "0"; // hundredths; "0" = the sum of the lines
};

// What a <DF> job asks for.
struct FiscalJob {
    std::uint8_t model = 0;
    QByteArray modelName;    // the DRK value as written
    std::uint8_t port = 0;
    std::uint8_t function = 0;
    int sourceCodePage = 0;  // 2 for PL_ZNAKI=L (CP852), 1 for M (Mazovia), else 0
    bool dataFound = false;  // a <DANE> line was found (read only for the functions that need data)
    QList<QByteArray> dataLines;
    ReceiptData receipt;     // Function 1: the data lines read as a receipt (ParseReceiptData)

    FiscalFamily family() const;
    // The printer's code page: CP852 for the Elzab models, Mazovia for the Thermal ones.
    int targetCodePage() const;
    // A job text in the printer's code page.
    QByteArray convert(const QByteArray &text) const;
};

// The functions whose data follow a <DANE> line, and the code when it is missing (0 for
// functions without data).
int MissingDataCode(int function);

// Reads a <DF> job: the key block of the <DF> line, then, for the functions that need
// them, the data lines after <DANE>: up to a line holding <END> or an empty line, taken
// as they are (no comment removal). Throws IoError.
FiscalJob ReadFiscalJob(LineReader &reader);

// fcOk, or fcSummaryShort for a summary line with fewer than five fields.
int ParseReceiptData(const QList<QByteArray> &lines, ReceiptData &receipt);

} // namespace ostrevo
