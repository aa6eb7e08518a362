#pragma once

#include "monitor/JobRecord.h"

#include <QString>

namespace ostrevo {

// The job journal, ostrevo.log in the program directory: one line per job with time,
// directory, job file, kind, duration and outcome, separated by tabs. Lines are appended
// with O_APPEND so that a crash never leaves half a line in the middle of the file. A
// journal moved or deleted (by a log rotation) is followed by a new one at the next line.
class Journal {
public:
    explicit Journal(QString path);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // Whether a Journal made now on `path` would first set the file aside as ostrevo.log.1.
    static bool dueForRotation(const QString &path);

    // Appends the record's line; returns it as written (without its line end).
    QString record(const JobRecord &record);
    const QString &path() const { return m_path; }

private:
    void open();
    bool movedAway() const;

    QString m_path;
    int m_fd = -1;
};

} // namespace ostrevo
