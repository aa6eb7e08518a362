#pragma once

#include <QString>
#include <QStringList>

namespace ostrevo {

// Start with the session: the XDG autostart entry <autostartDir>/Ostv.desktop stands in
// for the Windows registry value "Ostv". Unchecked: the entry is deleted. Checked: it is
// written when missing, running the executable with `arguments` (the --home of the
// configuration that is running, so that login starts the same one); an existing entry
// is left as it is, whatever it runs. Failures are ignored, as the registry ones were.
void UpdateAutostartEntry(const QString &autostartDir, bool autoRun, const QString &executablePath,
                          const QStringList &arguments = {});

// $XDG_CONFIG_HOME/autostart, or ~/.config/autostart.
QString DefaultAutostartDir();

// The Exec value that runs the program with these arguments, quoted as the Desktop Entry
// format asks (argument quoting, then string escapes).
QString DesktopExecValue(const QString &executablePath, const QStringList &arguments = {});

} // namespace ostrevo
