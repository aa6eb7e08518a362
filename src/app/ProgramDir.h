#pragma once

#include <QString>

namespace ostrevo {

// The program directory: Ostrevo.ini, DefSym.ovx, PTU.txt, Wzorzec/ and the journal.
// --home wins; else the executable's directory when it holds Ostrevo.ini (a portable
// install); else $XDG_CONFIG_HOME/ostrevo. The directory is created when missing.
QString ResolveProgramDir(const QString &homeOption, const QString &executableDir);

} // namespace ostrevo
