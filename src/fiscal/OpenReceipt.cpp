#include "fiscal/OpenReceipt.h"

#include "fiscal/FiscalJob.h"

namespace ostrevo {

OpenReceipt::OpenReceipt(std::function<std::int32_t()> cancel, FiscalOutcome &outcome, int noReceiptCode)
    : m_cancel(std::move(cancel)), m_outcome(outcome), m_noReceiptCode(noReceiptCode)
{
}

OpenReceipt::~OpenReceipt()
{
    if (!m_open)
        return;
    try {
        cancel();
    } catch (...) {
        // Unwinding already: the first failure is the one reported.
    }
}

std::int32_t OpenReceipt::cancel()
{
    if (!m_open)
        return 0;
    m_open = false;
    m_outcome.receiptCancelled = true;
    return m_cancel();
}

void OpenReceipt::endFailed(const char *function, std::int32_t endCode)
{
    const std::int32_t cancelled = cancel();
    if (cancelled == 0)
        return; // it was open, and is cancelled now: nothing of it printed
    const QString end = QStringLiteral("%1 zwróciła %2").arg(QString::fromLatin1(function)).arg(endCode);
    // Only a lost reply (the driver's own, negative codes) can hide an end that went through:
    // a printer that refused the end said so.
    if (m_noReceiptCode != 0 && cancelled == m_noReceiptCode && endCode < 0) {
        m_outcome.code = 0;
        m_outcome.fromDriver = false;
        m_outcome.receiptCancelled = false;
        m_outcome.reason = QStringLiteral("%1, ale drukarka nie miała otwartego paragonu do anulowania (jej błąd %2): "
                                          "paragon został wydrukowany")
                               .arg(end)
                               .arg(cancelled);
        return;
    }
    m_outcome.set(fcStateUnknown, QStringLiteral("%1, a jej anulowanie %2: nie wiadomo, czy paragon został wydrukowany; "
                                                 "sprawdź drukarkę, zanim wyślesz go ponownie")
                                      .arg(end)
                                      .arg(cancelled));
    m_outcome.receiptCancelled = false;
}

} // namespace ostrevo
