#include "monitor/MonitorStatus.h"

#include "handling/Settings.h"

namespace ostrevo {

QString StatusText(int code, int monitorMode)
{
    switch (code) {
    case 0:
        if (monitorMode == MonitorMutex)
            return QStringLiteral("Tryb monitorowania: MUTEX");
        if (monitorMode == MonitorTimer)
            return QStringLiteral("Tryb monitorowania: TIMER");
        return {};
    case 1:
        return QStringLiteral("BŁĄD(1)! Niewłaściwy katalog 1");
    case 2:
        return QStringLiteral("BŁĄD(2)! Niewłaściwa drukarka 1");
    case 3:
        return QStringLiteral("BŁĄD(3)! Niewłaściwy katalog 2");
    case 4:
        return QStringLiteral("BŁĄD(4)! Niewłaściwa drukarka 2");
    default:
        return {};
    }
}

} // namespace ostrevo
