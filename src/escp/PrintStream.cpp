#include "escp/PrintStream.h"

#include "jobs/Errors.h"

namespace ostrevo {

QString PrintLanguageName(PrintLanguage language)
{
    switch (language) {
    case PrintLanguage::Escp: return QStringLiteral("ESC/P");
    case PrintLanguage::PlainText: return QStringLiteral("tekst");
    case PrintLanguage::Pdf: return QStringLiteral("PDF");
    case PrintLanguage::PostScript: return QStringLiteral("PostScript");
    case PrintLanguage::Pcl: return QStringLiteral("PCL");
    }
    return {};
}

PrintLanguage DetectPrintLanguage(const QByteArray &)
{
    return PrintLanguage::Escp;
}

PrintStreamReport RenderPrintStream(const QByteArray &, const PrintStreamOptions &, const QString &)
{
    throw JobError(QStringLiteral("wydruki z portu nie są jeszcze obsługiwane"));
}

PrintStreamReport InspectPrintStream(const QByteArray &, const PrintStreamOptions &)
{
    return {};
}

} // namespace ostrevo
