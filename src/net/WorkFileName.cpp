#include "net/WorkFileName.h"

#include "jobs/Charsets.h"

namespace ostrevo {

WorkFileName CheckWorkFileName(const QByteArray &value, const char *key)
{
    WorkFileName result;
    result.name = Cp852ToUnicode(value);
    const QString shown = QStringLiteral("%1=\"%2\"").arg(QLatin1StringView(key), result.name);
    if (value.isEmpty())
        result.problem = QStringLiteral("%1: no file name").arg(shown);
    else if (value.contains('/') || value.contains('\\') || value.contains(':'))
        result.problem = QStringLiteral("%1: a file name without a path is expected").arg(shown);
    else if (value == "." || value == ".." || value.contains('\0'))
        result.problem = QStringLiteral("%1: not a file name").arg(shown);
    return result;
}

QString ResultNameFor(const QString &value)
{
    QString name = value.mid(std::max(value.lastIndexOf(u'/'), value.lastIndexOf(u'\\')) + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    return name + QStringLiteral(".txt");
}

} // namespace ostrevo
