#pragma once

#include <QString>

namespace ostrevo {

struct Settings;

// The name of the printer that is always there, writing each document as a PDF file.
inline QString BuiltinPrinterName() { return QStringLiteral("Ostrevo PDF"); }

// Whether a printer named in the settings is the built-in one (in any letter case).
inline bool IsBuiltinPrinter(const QString &name) { return name.compare(BuiltinPrinterName(), Qt::CaseInsensitive) == 0; }

// The built-in printer's directory: [DrukarkaPDF] Katalog, or "wydruki" in the program
// directory.
QString BuiltinPrinterDirectory(const Settings &settings, const QString &programDir);

} // namespace ostrevo
