#pragma once

#include <QDate>
#include <QString>

namespace ostrevo {

class VatTable;

// FiscalResultCode of one operation, and what the journal says about it.
struct FiscalOutcome {
    int code = 0;
    QString reason;

    bool failed() const { return code != 0; }
    void set(int value, QString why)
    {
        code = value;
        reason = std::move(why);
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
