#pragma once

#include <QString>

namespace ostrevo {

// What stands in the way of reading a file as a job, before its lines are looked at.
struct InputCheck {
    enum Problem {
        None,
        Unreadable, // missing, not a regular file, or it cannot be read
        Binary,     // bytes no DOS program writes into a text: a PDF, an image, a program
    };
    Problem problem = None;
    QString message;
};

// Opens the file as the monitor opens a job text (no links followed, regular files only)
// and looks at its first 64 KiB.
InputCheck InspectJobFile(const QString &path);

} // namespace ostrevo
