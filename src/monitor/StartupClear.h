#pragma once

#include "handling/Settings.h"
#include "monitor/JobLedger.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace ostrevo {

// The emptying of the monitored directories and their work directories at start, as the
// Clear... settings ask, limited to what was already stale before the last clean stop:
// at a clean stop the monitor notes which files it leaves behind unperformed (texts
// without a marker, markers without a text, work files, and the jobs that wait while
// monitoring is paused), and the next start deletes those of them that are still as they
// were. Jobs queued at the stop, the job a crash or a kill cut short, and whatever came
// while the monitor was down are performed, never deleted; after a crash or a kill
// (no note of a clean stop) nothing is deleted.
//
// Work on descriptors of the monitored directory: a link is never followed out of it, and
// only entries that are not directories are deleted (a link as a link).

struct StaleFile {
    QString directory;  // the monitored directory, or its work directory
    QByteArray name;
    FileStamp stamp;
    bool operator==(const StaleFile &) const = default;
};

// What a clean stop leaves: a job whose marker the predicate names (one queued, one of
// another monitor, one held for its results) is kept out, with its text.
struct StaleScan {
    const Settings *settings = nullptr;
    std::function<QString(const QString &)> resolveDir;
    // True for a marker whose job is to be performed after the start: not stale.
    std::function<bool(const QString &directory, const QByteArray &marker)> keepMarker;
    // Complete jobs (a marker with its text) are stale only when monitoring was paused.
    bool keepCompleteJobs = true;
};
QList<StaleFile> CollectStaleFiles(const StaleScan &scan);

// The note of a clean stop: written whole at the stop, taken (read and deleted) at start.
void WriteStopNote(const QString &path, const QList<StaleFile> &files);
std::optional<QList<StaleFile>> TakeStopNote(const QString &path);

// Deletes the noted files that are still as they were and still belong to a monitored
// directory whose setting asks for the emptying; `journal` hears of each first.
// Returns warnings (a work directory that is a link).
QStringList ClearStaleFiles(const QList<StaleFile> &files, const Settings &settings,
                            const std::function<QString(const QString &)> &resolveDir,
                            const std::function<void(const StaleFile &)> &journal);

} // namespace ostrevo
