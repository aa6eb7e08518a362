#pragma once

#include "fiscal/FiscalJob.h"
#include "fiscal/FiscalOperation.h"

namespace ostrevo {

inline const QString ElzabLibraryName = QStringLiteral("libElzabdr.so");

// The job's operation on a printer of the Elzab family (OMEGA_1, OMEGA_2, FP600) through
// libElzabdr.so in the program directory: loaded, communication opened, the calls, then
// communication closed and the library unloaded, whatever happened. A receipt that fails
// after ReceiptBegin is cancelled (ReceiptCancel, ErasePayments, EraseLines).
FiscalOutcome RunElzabOperation(const FiscalJob &job, const FiscalEnvironment &environment);

// The name with dots appended up to the length the model's display lines need:
// 10 characters for OMEGA_1 and FP600, 5 for OMEGA_2, counted as the printer counts them.
QByteArray PadArticleName(const QByteArray &name, int model, int countedCharacters);

} // namespace ostrevo
