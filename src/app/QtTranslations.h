#pragma once

#include <QString>

class QCoreApplication;

namespace ostrevo {

// Qt's own texts (file dialog, context menus, standard buttons, some error texts) in
// Polish, like the program's: qtbase_pl.qm from Qt's translations directory (Debian's
// qt6-translations-l10n). The translator belongs to `app`. False when the file is missing;
// Qt's texts then stay English.
bool LoadQtTranslations(QCoreApplication *app, const QString &directory = {});

} // namespace ostrevo
