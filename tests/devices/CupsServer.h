#pragma once

// A private cupsd (tests/services/cupsd.sh) for the tests of one program, and the libcups
// of this process pointed at it. Without one, libcups is pointed at a socket where nothing
// listens, so no test ever reaches the machine's own CUPS.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace ostrevo::test {

class CupsServer {
public:
    CupsServer();
    ~CupsServer();

    bool running() const { return m_running; }
    // Why it did not start.
    const QString &failure() const { return m_failure; }
    // Where the file queues write: DIR/ps.out, DIR/pdf.out.
    QString outputDir() const { return m_dir.path() + QStringLiteral("/out"); }
    QString dir() const { return m_dir.path(); }

    // Runs lpadmin against this server; returns its exit code.
    int lpadmin(const QStringList &arguments) const;
    // Waits until the queue has no pending jobs; false on time-out.
    bool waitIdle(const QString &queue, int timeoutMs = 30000) const;

private:
    QTemporaryDir m_dir;
    QString m_socket;
    bool m_running = false;
    QString m_failure;
};

// Points libcups at nothing: no queues, no default queue.
void UseNoCupsServer();
void UseCupsServer(const QString &socket);

} // namespace ostrevo::test
