#include "devices/FreeFileName.h"

#include <QFileInfo>

namespace ostrevo {

QString PlaceUnderFreeName(const QString &dir, const QString &base, const QString &suffix,
                           const std::function<bool(const QString &path)> &place)
{
    for (int n = 1; n < 100000; ++n) {
        const QString name = n == 1 ? base : QStringLiteral("%1-%2").arg(base).arg(n);
        const QString path = dir + u'/' + name + u'.' + suffix;
        if (QFileInfo::exists(path))
            continue;
        if (place(path))
            return path;
        if (!QFileInfo::exists(path))
            return {}; // failed for another reason than a taken name
    }
    return {};
}

QString SafeFileStem(const QString &name, const QString &fallback)
{
    QString stem = name;
    for (QChar &c : stem) {
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20)
            c = u'_';
    }
    if (stem.isEmpty() || stem == QStringLiteral(".") || stem == QStringLiteral(".."))
        return fallback;
    return stem;
}

} // namespace ostrevo
