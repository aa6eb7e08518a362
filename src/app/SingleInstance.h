#pragma once

#include "app/PrivateRuntimeDir.h"

#include <QString>

namespace ostrevo {

// One running monitor per user, executable name and program directory: an advisory lock
// on a file in the user's private runtime directory. The kernel drops the lock when the
// process ends, however it ends, so a crash never leaves a stale lock behind. The key is
// the canonical program directory, so a path through a symbolic link finds the same lock.
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
    QString socketPath() const;
    const QString &canonicalProgramDir() const { return m_canonicalDir; }
    const QString &error() const { return m_error; }

private:
    PrivateRuntimeDir m_dir;
    QString m_canonicalDir;
    QString m_lockName;
    QString m_socketName;
    QString m_error;
    int m_fd = -1;
};

} // namespace ostrevo
