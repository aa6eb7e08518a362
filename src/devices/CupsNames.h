#pragma once

#include <QStringList>

#include <optional>

namespace ostrevo {

// The names of the CUPS server's queues (CUPS_SERVER, or the client configuration), as
// the printer list shows them: lpoptions instances left out. libcups is loaded when this
// is first asked, so that the launcher loads it only for settings that name a CUPS
// printer. Nothing when libcups cannot be loaded.
std::optional<QStringList> LoadedCupsQueueNames();

} // namespace ostrevo
