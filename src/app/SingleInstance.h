#pragma once

#include "app/PrivateRuntimeDir.h"

#include <QString>

namespace ostrevo {

// One running monitor per user, executable name and program directory: an advisory lock
// on a file in the user's private runtime directory, and one on `ostrevo.lock` in the
// program directory itself, which also holds against a monitor started from another
// session (a desktop login and a system service, su, cron) or, on a shared program
// directory, another machine. The kernel drops the locks when the process ends, however
// it ends, so a crash never leaves a stale lock behind. The key is the canonical program
// directory, so a path through a symbolic link finds the same lock.
class SingleInstance {
public:
    enum class Outcome {
        First,      // this process holds the lock
        Second,     // another instance holds it
        Failed,     // no lock can be taken; error() says why
    };

    SingleInstance(const QString &executableName, const QString &programDir);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    Outcome acquire();
    // Full paths of the lock file and of the running instance's socket.
    QString lockPath() const;
    // The lock that another instance holds (after Second).
    const QString &heldLock() const { return m_heldLock; }
    QString socketPath() const;
    const QString &canonicalProgramDir() const { return m_canonicalDir; }
    const QString &error() const { return m_error; }

private:
    PrivateRuntimeDir m_dir;
    QString m_canonicalDir;
    QString m_lockName;
    QString m_socketName;
    QString m_error;
    QString m_heldLock;
    int m_fd = -1;
    int m_dirFd = -1;
};

} // namespace ostrevo
