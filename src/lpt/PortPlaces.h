#pragma once

#include "handling/BuiltinPrinter.h"
#include "handling/Settings.h"

#include <QString>
#include <QStringList>

namespace ostrevo {

// Where a printer port's files are, as Ostrevo.ini gives them: the port's directory
// (a Linux path, a DOS path through [Dyski], or relative to the program directory) and
// the folder its PDF files are kept in.
QString PortDirectory(const PortSettings &port, const Settings &settings, const QString &programDir);

// Where the port keeps its PDF files: KatalogPDF, or the built-in printer's directory when
// the port prints on it; empty when the PDF is only printed (a CUPS queue, no KatalogPDF).
QString PortPdfFolder(const PortSettings &port, const Settings &settings, const QString &programDir);

// The port prints on the built-in printer "Ostrevo PDF" (Drukarka empty or that name).
bool PrintsOnBuiltinPrinter(const PortSettings &port);

// The port of that name (letter case aside); nullptr when Ostrevo.ini has no such section.
const PortSettings *FindPort(const Settings &settings, const QString &name);

// Why a port cannot be served, beyond its own section's values: its directory is a
// monitored job directory or another port's (`earlierDirectories`: the directories of the
// ports before it), its PDF files would land in it, or its printer is not in the list.
// Empty when it can be.
QString PortConflict(const PortSettings &port, const Settings &settings, const QString &programDir,
                     const QStringList &printers, const QStringList &earlierDirectories);

// The same directory whatever the path says it through: links, "..", a trailing slash.
QString CanonicalDirectory(const QString &dir);

} // namespace ostrevo
