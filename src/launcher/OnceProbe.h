#pragma once

#include <QString>

namespace ostrevo {

// Whether `ostrevo --once` on this program directory would do nothing but end with 0,
// printing nothing and changing no file, found with the program's own code: the instance
// lock taken (and let go again) as the program takes it, the settings read and checked,
// no job in a monitored directory, nothing left by an earlier run to perform, send,
// finish or clean. False whenever that is not certain; the program then runs and does
// what it does.
bool OnceHasNothingToDo(const QString &programDir, const QString &executableName);

} // namespace ostrevo
