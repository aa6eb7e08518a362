#include "devices/CupsQueues.h"

#include "devices/CupsNames.h"

#include <QFile>

#include <cups/cups.h>
#include <cups/ppd.h>

#include <unistd.h>

#include <memory>

namespace ostrevo {

namespace {

struct DestsDeleter {
    int count;
    void operator()(cups_dest_t *dests) const { cupsFreeDests(count, dests); }
};
using DestPtr = std::unique_ptr<cups_dest_t, DestsDeleter>;

struct InfoDeleter {
    void operator()(cups_dinfo_t *info) const { cupsFreeDestInfo(info); }
};
using InfoPtr = std::unique_ptr<cups_dinfo_t, InfoDeleter>;

DestPtr NamedDest(const QString &queue)
{
    const QByteArray name = queue.toUtf8();
    return DestPtr(cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.isEmpty() ? nullptr : name.constData(), nullptr),
                   DestsDeleter{1});
}

std::uint8_t DuplexFromSides(const char *sides)
{
    const QByteArray s(sides ? sides : "");
    if (s == "two-sided-long-edge")
        return 2;
    if (s == "two-sided-short-edge")
        return 1;
    return 0;
}

// The user's saved option wins over the queue's default, as lp does.
const char *DefaultValue(cups_dest_t *dest, cups_dinfo_t *info, const char *option, QByteArray &storage)
{
    if (const char *v = cupsGetOption(option, dest->num_options, dest->options))
        return v;
    ipp_attribute_t *attr = cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest, info, option);
    if (!attr)
        return nullptr;
    char buffer[256];
    if (ippAttributeString(attr, buffer, sizeof buffer) == 0)
        return nullptr;
    storage = QByteArray(buffer);
    return storage.constData();
}

// The paper a PPD names as its default (*DefaultPageSize), as a PWG media name with its
// size and printable area; false when the queue has no PPD.
bool PpdDefaultMedia(const QString &queue, CupsQueueSetup &setup)
{
    // The PPD interface is deprecated in libcups but still the only way to a queue's PPD.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const QByteArray name = queue.toUtf8();
    const char *file = cupsGetServerPPD(CUPS_HTTP_DEFAULT, name.constData());
    if (!file)
        return false;
    ppd_file_t *ppd = ppdOpenFile(file);
    bool found = false;
    if (ppd) {
        ppdMarkDefaults(ppd);
        if (const ppd_size_t *size = ppdPageSize(ppd, nullptr); size && size->width > 0 && size->length > 0) {
            const pwg_media_t *pwg = pwgMediaForPPD(size->name);
            setup.media = pwg && pwg->pwg ? QByteArray(pwg->pwg) : QByteArray(size->name);
            // Points, the printable area from the bottom-left corner.
            constexpr double MmPerPoint = 25.4 / 72.0;
            setup.mediaMm = QSizeF(size->width * MmPerPoint, size->length * MmPerPoint);
            setup.printableMm = QRectF(size->left * MmPerPoint, (size->length - size->top) * MmPerPoint,
                                       (size->right - size->left) * MmPerPoint, (size->top - size->bottom) * MmPerPoint);
            found = true;
        }
        ppdClose(ppd);
    }
    ::unlink(file);
    return found;
#pragma GCC diagnostic pop
}

// The queue's own default paper: its media-default (or the user's saved media option), else
// its PPD's DefaultPageSize, with the margins the queue reports for that size.
// cupsGetDestMediaDefault is not used: without a media option among the destination's
// options it answers US Letter whatever the queue's default.
void ApplyDefaultMedia(const QString &queue, cups_dest_t *dest, cups_dinfo_t *info, CupsQueueSetup &setup)
{
    QByteArray storage;
    const char *media = DefaultValue(dest, info, "media", storage);
    if (!media || !*media) {
        PpdDefaultMedia(queue, setup);
        return;
    }
    setup.media = QByteArray(media);
    cups_size_t size{};
    if (cupsGetDestMediaByName(CUPS_HTTP_DEFAULT, dest, info, media, CUPS_MEDIA_FLAGS_DEFAULT, &size) && size.width > 0
        && size.length > 0) {
        // libcups gives hundredths of a millimetre.
        setup.mediaMm = QSizeF(size.width / 100.0, size.length / 100.0);
        setup.printableMm = QRectF(size.left / 100.0, size.top / 100.0, (size.width - size.left - size.right) / 100.0,
                                   (size.length - size.top - size.bottom) / 100.0);
    } else if (const pwg_media_t *pwg = pwgMediaForPWG(media)) {
        setup.mediaMm = QSizeF(pwg->width / 100.0, pwg->length / 100.0);
        setup.printableMm = QRectF(QPointF(0, 0), setup.mediaMm);
    } else {
        PpdDefaultMedia(queue, setup);
    }
}

} // namespace

QStringList CupsQueueNames()
{
    // The launcher's quick --once reads the same list.
    return LoadedCupsQueueNames().value_or(QStringList());
}

QString CupsDefaultQueue()
{
    DestPtr dest = NamedDest({});
    return dest ? QString::fromUtf8(dest->name) : QString();
}

bool CupsQueueExists(const QString &queue)
{
    return !queue.isEmpty() && NamedDest(queue) != nullptr;
}

std::optional<CupsQueueSetup> CupsQueueDefaults(const QString &queue)
{
    DestPtr dest = NamedDest(queue);
    if (!dest)
        return std::nullopt;
    InfoPtr info(cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest.get()));
    if (!info)
        return std::nullopt;

    CupsQueueSetup setup;
    QByteArray storage;
    if (const char *v = DefaultValue(dest.get(), info.get(), "copies", storage))
        setup.mode.copies = qMax(1, QByteArray(v).toInt());
    if (const char *v = DefaultValue(dest.get(), info.get(), "orientation-requested", storage)) {
        // IPP names landscape 4 (and reverse-landscape 5); the attribute string may be a keyword.
        const QByteArray o(v);
        setup.mode.orientation = (o == "4" || o == "5" || o == "landscape" || o == "reverse-landscape") ? 1 : 0;
    }
    setup.mode.duplex = DuplexFromSides(DefaultValue(dest.get(), info.get(), "sides", storage));

    ApplyDefaultMedia(queue, dest.get(), info.get(), setup);
    return setup;
}

CupsOptions CupsJobOptions(const DeviceMode &mode, const QByteArray &media)
{
    static const char *const Sides[] = {"one-sided", "two-sided-short-edge", "two-sided-long-edge"};
    CupsOptions options;
    if (!media.isEmpty())
        options.append(qMakePair(QByteArray("media"), media));
    options.append(qMakePair(QByteArray("copies"), QByteArray::number(qMax(1, mode.copies))));
    options.append(qMakePair(QByteArray("sides"), QByteArray(Sides[mode.duplex <= 2 ? mode.duplex : 0])));
    // The pages are already drawn landscape; CUPS turns them onto the sheet either way, and
    // the option tells the printer which edge two-sided printing turns on.
    options.append(qMakePair(QByteArray("orientation-requested"), QByteArray(mode.orientation == 1 ? "4" : "3")));
    return options;
}

QString CupsSubmitFile(const QString &queue, const QString &path, const QString &title, const CupsOptions &options)
{
    cups_option_t *cupsOptions = nullptr;
    int count = 0;
    for (const auto &[name, value] : options)
        count = cupsAddOption(name.constData(), value.constData(), count, &cupsOptions);
    const QByteArray q = queue.toUtf8();
    const QByteArray file = QFile::encodeName(path);
    const QByteArray t = title.toUtf8();
    const int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, q.constData(), file.constData(), t.constData(), count, cupsOptions);
    cupsFreeOptions(count, cupsOptions);
    if (job > 0)
        return {};
    QString reason = QString::fromUtf8(cupsLastErrorString());
    return reason.isEmpty() ? QStringLiteral("zadanie odrzucone") : reason;
}

} // namespace ostrevo
