#pragma once

#include "devices/PrintDevice.h"

#include <QList>
#include <QPair>
#include <QRectF>
#include <QStringList>

#include <optional>

namespace ostrevo {

// What libcups tells about the queues of the CUPS server that CUPS_SERVER (or the
// client configuration) names.

QStringList CupsQueueNames();
// Empty when CUPS has no default queue.
QString CupsDefaultQueue();
bool CupsQueueExists(const QString &queue);

// The queue's default settings and default paper, read together.
struct CupsQueueSetup {
    DeviceMode mode;
    QByteArray media;           // PWG media name, given with each job so the pages fit it
    QSizeF mediaMm{210, 297};   // portrait sheet
    QRectF printableMm{0, 0, 210, 297};
};
// Nothing when the queue cannot be asked (gone, or the server is unreachable).
std::optional<CupsQueueSetup> CupsQueueDefaults(const QString &queue);

using CupsOptions = QList<QPair<QByteArray, QByteArray>>;
CupsOptions CupsJobOptions(const DeviceMode &mode, const QByteArray &media);

// Submits a file as one job; returns an empty string on success, else the reason.
QString CupsSubmitFile(const QString &queue, const QString &path, const QString &title,
                       const CupsOptions &options);

} // namespace ostrevo
