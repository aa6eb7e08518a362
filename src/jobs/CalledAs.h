#pragma once

#include <QString>

namespace ostrevo {

// The installed `ostrevo` is a small launcher that hands every start that has work to do
// to the program in a private directory (exec, same process). It names itself in this
// variable, so that what users and services know by the command they call stays the
// same: the program directory beside it, the instance lock named after it, the autostart
// entry that calls it, the data installed beside it.
inline constexpr char CalledAsVariable[] = "OSTREVO_CALLED_AS";

// The command this process was started as: the launcher that handed over to it, or
// (started directly, or the launcher itself) this executable. Needs a QCoreApplication
// only for the latter.
QString CalledExecutablePath();
// Its directory.
QString CalledExecutableDir();

} // namespace ostrevo
