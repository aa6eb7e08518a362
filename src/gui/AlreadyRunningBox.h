#pragma once

#include <QString>

namespace ostrevo {

// A desktop start while a monitor without a window (a service) runs on the same program
// directory: says so, and how to reach that monitor, instead of ending unseen.
void ShowAlreadyRunningBox(const QString &programDir);

} // namespace ostrevo
