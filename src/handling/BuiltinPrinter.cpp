#include "handling/BuiltinPrinter.h"

#include "handling/Settings.h"
#include "jobs/DosPath.h"

namespace ostrevo {

QString BuiltinPrinterDirectory(const Settings &settings, const QString &programDir)
{
    return settings.pdfPrinterDir.isEmpty() ? programDir + QStringLiteral("/wydruki")
                                            : DosPathMapper(settings.drives, programDir).toLocal(settings.pdfPrinterDir);
}

} // namespace ostrevo
