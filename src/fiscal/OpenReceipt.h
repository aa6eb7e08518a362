#pragma once

#include "fiscal/FiscalOperation.h"

#include <cstdint>
#include <functional>

namespace ostrevo {

// A receipt open on the printer. Every way out of it that does not close it cancels it,
// a failure thrown in the middle (a full memory, say) included, so no receipt is ever
// left open. When the receipt's end fails, the cancel also tells what the printer did:
// cancelled, the receipt was not printed; refused for want of an open receipt, the end
// went through and it was; the printer out of reach, nobody can say.
class OpenReceipt {
public:
    // `cancel` performs the family's cancel and returns the driver's result of it.
    // `noReceiptCode` is the printer's error for "no receipt open" where the family's
    // protocol names one (0: the family says nothing of it).
    OpenReceipt(std::function<std::int32_t()> cancel, FiscalOutcome &outcome, int noReceiptCode = 0);
    ~OpenReceipt();
    OpenReceipt(const OpenReceipt &) = delete;
    OpenReceipt &operator=(const OpenReceipt &) = delete;

    // Cancels the receipt now (once); returns the cancel's result.
    std::int32_t cancel();
    // The receipt ended on the printer.
    void closed() { m_open = false; }
    // The receipt's end, `function`, returned `endCode` (in the outcome already): the
    // receipt is cancelled, and the outcome becomes what the printer did.
    void endFailed(const char *function, std::int32_t endCode);

private:
    std::function<std::int32_t()> m_cancel;
    FiscalOutcome &m_outcome;
    int m_noReceiptCode;
    bool m_open = true;
};

} // namespace ostrevo
