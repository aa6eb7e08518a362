#pragma once

#include <QString>

namespace ostrevo {

// One running monitor per user, executable name and program directory: an advisory lock
// on a file in $XDG_RUNTIME_DIR (or /tmp). The kernel drops the lock when the process
// ends, however it ends, so a crash never leaves a stale lock behind.
class SingleInstance {
public:
    SingleInstance(const QString &executableName, const QString &programDir);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // True when this process holds the lock (the first instance).
    bool acquire();
    const QString &lockPath() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
};

} // namespace ostrevo
