#pragma once

#include <QString>
#include <QStringList>

namespace ostrevo {

// A directory only this user can write, for the single-instance lock and the socket of
// the running instance: $XDG_RUNTIME_DIR; without it /tmp/ostrevo-UID ($TMPDIR when set), made 0700; should
// that be taken (another user made it first, or it is a link), the user's cache directory.
// Each candidate is opened with O_NOFOLLOW and must be a directory owned by the user that
// nobody else can write; files are then made relative to the open directory, so a link
// swapped in after the check leads nowhere.
class PrivateRuntimeDir {
public:
    PrivateRuntimeDir();
    // The candidates in the order tried; for tests.
    explicit PrivateRuntimeDir(const QStringList &candidates);
    ~PrivateRuntimeDir();
    PrivateRuntimeDir(const PrivateRuntimeDir &) = delete;
    PrivateRuntimeDir &operator=(const PrivateRuntimeDir &) = delete;

    bool isValid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    const QString &path() const { return m_path; }
    // Why each refused candidate was refused, one line each (empty when the first served).
    const QStringList &refusals() const { return m_refusals; }

    static QStringList defaultCandidates();

private:
    void open(const QStringList &candidates);

    int m_fd = -1;
    QString m_path;
    QStringList m_refusals;
};

} // namespace ostrevo
