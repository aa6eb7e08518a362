#include "devices/CupsNames.h"

#include <cups/cups.h>

#include <dlfcn.h>

namespace ostrevo {

namespace {

struct CupsListing {
    decltype(&cupsGetDests2) getDests = nullptr;
    decltype(&cupsFreeDests) freeDests = nullptr;
};

// Loaded once and kept: the program links libcups anyway, the launcher ends soon after.
const CupsListing &Listing()
{
    static const CupsListing listing = [] {
        CupsListing l;
        if (void *library = ::dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL)) {
            l.getDests = reinterpret_cast<decltype(&cupsGetDests2)>(::dlsym(library, "cupsGetDests2"));
            l.freeDests = reinterpret_cast<decltype(&cupsFreeDests)>(::dlsym(library, "cupsFreeDests"));
        }
        return l;
    }();
    return listing;
}

} // namespace

std::optional<QStringList> LoadedCupsQueueNames()
{
    const CupsListing &cups = Listing();
    if (!cups.getDests || !cups.freeDests)
        return std::nullopt;
    cups_dest_t *dests = nullptr;
    const int count = cups.getDests(CUPS_HTTP_DEFAULT, &dests);
    QStringList names;
    for (int i = 0; i < count; ++i) {
        if (dests[i].instance)
            continue; // instances are lpoptions presets of a queue, not printers
        const QString name = QString::fromUtf8(dests[i].name);
        if (!names.contains(name))
            names.append(name);
    }
    cups.freeDests(count, dests);
    return names;
}

} // namespace ostrevo
