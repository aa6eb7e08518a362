#pragma once

#include <QDate>
#include <QString>

namespace ostrevo {

class VatTable;

// FiscalResultCode of one operation, and what the journal says about it.
struct FiscalOutcome {
    int code = 0;
    QString reason;
    // The code is the driver's (or the printer's) own number, not one of the monitor's.
    bool fromDriver = false;
    // The receipt was cancelled on the printer: nothing of it counts as printed.
    bool receiptCancelled = false;

    bool failed() const { return code != 0; }
    // One of the monitor's own codes (FiscalCode).
    void set(int value, QString why)
    {
        code = value;
        reason = std::move(why);
        fromDriver = false;
    }
    void setDriver(int value, QString why)
    {
        code = value;
        reason = std::move(why);
        fromDriver = true;
    }
};

// What an operation needs besides its job: where the driver library and PTU.txt live,
// the VAT table it loads, and today's date (for the Thermal daily report).
struct FiscalEnvironment {
    QString programDir;
    VatTable *vatTable = nullptr;
    QDate today;
};

} // namespace ostrevo
