#pragma once

#include <QString>

namespace ostrevo {

// XlsToDbf in a process of its own. The workbook comes from a server, and the library
// that reads it has had memory faults on crafted files: a conversion that crashes, or does
// not end within `timeoutSeconds`, is a failed one (1, `why` set), and the monitor goes
// on. What the child left half written is removed. The child is this very program started
// afresh (its main hands the call to RunWorkbookConversion), never a fork of a process
// whose other threads may hold locks; it dies with the thread that started it.
int XlsToDbfIsolated(const QString &workbookPath, const QString &tablePath, QString &why, int timeoutSeconds = 300);

// The child's side: when the arguments are a conversion call ("--convert-workbook IN OUT"),
// converts and returns the exit code, the failure's message on standard output; -1 for
// any other arguments. Every program that may convert calls it first thing in main.
int RunWorkbookConversion(int argc, char **argv);

} // namespace ostrevo
