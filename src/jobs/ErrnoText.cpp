#include "jobs/Errors.h"

#include <cerrno>
#include <cstring>

namespace ostrevo {

QString ErrnoText(int error)
{
    switch (error) {
    case ENOENT: return QStringLiteral("nie ma takiego pliku ani katalogu");
    case EACCES: return QStringLiteral("brak uprawnień");
    case EPERM: return QStringLiteral("operacja niedozwolona");
    case ENOSPC: return QStringLiteral("brak miejsca na dysku");
    case EDQUOT: return QStringLiteral("przekroczony przydział miejsca na dysku");
    case EROFS: return QStringLiteral("dysk tylko do odczytu");
    case EEXIST: return QStringLiteral("plik już istnieje");
    case ENOTDIR: return QStringLiteral("to nie jest katalog");
    case EISDIR: return QStringLiteral("to jest katalog");
    case ENOTEMPTY: return QStringLiteral("katalog nie jest pusty");
    case ELOOP: return QStringLiteral("dowiązanie symboliczne w miejscu pliku");
    case ENAMETOOLONG: return QStringLiteral("za długa nazwa pliku");
    case EIO: return QStringLiteral("błąd wejścia/wyjścia (dysk lub sieć)");
    case EBUSY: return QStringLiteral("plik lub urządzenie jest zajęte");
    case ETXTBSY: return QStringLiteral("plik jest w użyciu");
    case EMFILE:
    case ENFILE: return QStringLiteral("za dużo otwartych plików");
    case EFBIG: return QStringLiteral("plik za duży");
    case EXDEV: return QStringLiteral("nie można przenieść pliku na inny dysk");
    case ESTALE: return QStringLiteral("udział sieciowy przestał być dostępny");
    case ENODEV:
    case ENXIO: return QStringLiteral("nie ma takiego urządzenia");
    case ETIMEDOUT: return QStringLiteral("przekroczony czas oczekiwania");
    case ECONNREFUSED: return QStringLiteral("połączenie odrzucone");
    case EINTR: return QStringLiteral("przerwane");
    case ENOMEM: return QStringLiteral("brak pamięci");
    default: return QStringLiteral("%1 (errno %2)").arg(QString::fromLocal8Bit(std::strerror(error))).arg(error);
    }
}

bool OutputMayClear(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EFBIG || error == EROFS || error == EACCES || error == EPERM;
}

} // namespace ostrevo
