#pragma once

#include <QByteArray>
#include <QChar>
#include <QMap>
#include <QString>

namespace ostrevo {

// Where the template of a form job is: for a name with a path ("\") first that DOS path
// plus ".txt" (through the drive mapping, relative to the program directory); then
// "Wzorzec/NAME.txt" in the program directory, then in the job's directory, every
// component matched without regard to letter case. Only a regular file counts. Empty
// when there is none. `name` is the TEMPLATE value in the job's code page.
QString LocateFormTemplate(const QByteArray &name, const QString &programDir, const QString &jobDir,
                           const QMap<QChar, QString> &drives);

} // namespace ostrevo
