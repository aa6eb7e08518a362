#pragma once

#include "fiscal/FiscalJob.h"
#include "fiscal/FiscalOperation.h"

namespace ostrevo {

inline const QString ThermalLibraryName = QStringLiteral("libThermalServiceLibrary.so");

// The job's operation on a printer that speaks the Thermal protocol (THERMAL, DF300)
// through libThermalServiceLibrary.so in the program directory: loaded, the port opened
// and error mode 3 set, the calls, then the port closed and the library unloaded,
// whatever happened. A transaction that fails after p_LBTRSHDR is cancelled
// (p_LBTREXITCAN "001" "KIEROWNIK").
FiscalOutcome RunThermalOperation(const FiscalJob &job, const FiscalEnvironment &environment);

} // namespace ostrevo
