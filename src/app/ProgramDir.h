#pragma once

#include <QString>

namespace ostrevo {

// The program directory: Ostrevo.ini, DefSym.ovx, PTU.txt, Wzorzec/ and the journal.
// --home wins; else the executable's directory when it holds Ostrevo.ini (a portable
// install); else $XDG_CONFIG_HOME/ostrevo. Only the default directory is created when
// missing: one that --home names must exist, so that a mistyped name never becomes a new,
// empty configuration.
QString ResolveProgramDir(const QString &homeOption, const QString &executableDir);

} // namespace ostrevo
