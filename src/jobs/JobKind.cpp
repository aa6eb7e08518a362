#include "jobs/JobKind.h"

namespace ostrevo {

QString JobKindName(JobKind kind)
{
    static const char *const names[JobKindCount] = {
        "jkEmpty", "jkText", "jkPit", "jkFtp", "jkMail", "jkPdf",
        "jkPitPdf", "jkDownload", "jkOpen", "jkPrint", "jkDf", "jkWaluta", "jkKsef",
    };
    if (kind < JobKindCount)
        return QString::fromLatin1(names[kind]);
    return QStringLiteral("jk%1").arg(int(kind));
}

} // namespace ostrevo
