#include "monitor/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace ostrevo {

namespace {

const QString EntryName = QStringLiteral("Ostv.desktop");

// One argument of Exec, quoted as desktop entries must be for launchers to split them
// back: inside double quotes '"', '`', '$' and '\' take a backslash; '%' is a field code character and is
// doubled.
QString QuotedArgument(const QString &argument)
{
    QString quoted;
    for (QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        if (c == u'%')
            quoted += u'%';
        quoted += c;
    }
    return u'"' + quoted + u'"';
}

} // namespace

QString DesktopExecValue(const QString &executablePath, const QStringList &arguments)
{
    QStringList words{QuotedArgument(executablePath)};
    for (const QString &argument : arguments)
        words.append(QuotedArgument(argument));
    // The value itself is a string: backslashes and control characters are escaped.
    QString value;
    for (QChar c : words.join(u' ')) {
        switch (c.unicode()) {
        case '\\': value += QStringLiteral("\\\\"); break;
        case '\n': value += QStringLiteral("\\n"); break;
        case '\t': value += QStringLiteral("\\t"); break;
        case '\r': value += QStringLiteral("\\r"); break;
        default: value += c;
        }
    }
    return value;
}

void UpdateAutostartEntry(const QString &autostartDir, bool autoRun, const QString &executablePath,
                          const QStringList &arguments)
{
    const QString path = QDir(autostartDir).filePath(EntryName);
    if (!autoRun) {
        QFile::remove(path);
        return;
    }
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink() || executablePath.isEmpty())
        return;
    if (!QDir().mkpath(autostartDir))
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Ostrevo\n"
                                         "Comment=Monitor zadań programów DOS\n"
                                         "Exec=%1\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(DesktopExecValue(executablePath, arguments));
    file.write(entry.toUtf8());
    file.commit();
}

QString DefaultAutostartDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
}

} // namespace ostrevo
