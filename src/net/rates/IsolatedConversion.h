#pragma once

#include <QString>

namespace ostrevo {

// XlsToDbf in a child process of its own. The workbook comes from a server, and the
// library that reads it has had memory faults on crafted files: a conversion that
// crashes, or does not end within `timeoutSeconds`, is a failed one (1, `why` set), and
// the monitor goes on. What the child left half written is removed.
int XlsToDbfIsolated(const QString &workbookPath, const QString &tablePath, QString &why, int timeoutSeconds = 300);

} // namespace ostrevo
