#include "gui/AlreadyRunningBox.h"

#include <QDir>
#include <QMessageBox>

namespace ostrevo {

namespace {

QString AlreadyRunningText(const QString &programDir)
{
    const QString dir = QDir::toNativeSeparators(programDir);
    return QStringLiteral(
               "Ostrevo już działa dla katalogu programu %1, bez okna (jako usługa albo "
               "ostrevo --headless), i wykonuje zadania.\n\n"
               "Stan monitora: ostrevo --status\n"
               "Wstrzymanie i wznowienie: ostrevo --pause, ostrevo --resume\n"
               "Dziennik zadań: %2\n\n"
               "Aby pracować z oknem, zatrzymaj usługę (systemctl --user stop ostrevo) i uruchom "
               "Ostrevo ponownie.")
        .arg(dir, QDir::toNativeSeparators(QDir(programDir).filePath(QStringLiteral("ostrevo.log"))));
}

} // namespace

void ShowAlreadyRunningBox(const QString &programDir)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Ostrevo"), AlreadyRunningText(programDir), QMessageBox::Ok);
    box.setObjectName(QStringLiteral("alreadyRunningBox"));
    box.exec();
}

} // namespace ostrevo
