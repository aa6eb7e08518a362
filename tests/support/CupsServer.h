#pragma once

// A private cupsd (tests/services/cupsd.sh) for the tests of one program, and the libcups
// of this process pointed at it. Without one, libcups is pointed at a socket where nothing
// listens, so no test ever reaches the machine's own CUPS.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ostrevo::test {

class CupsServer {
public:
    CupsServer();
    ~CupsServer();

    bool running() const { return m_running; }
    // Why it did not start.
    const QString &failure() const { return m_failure; }
    // CUPS is not installed on this machine (the script's exit code 3).
    bool notInstalled() const { return m_notInstalled; }
    // Where the file queues write: DIR/ps.out, DIR/pdf.out.
    QString outputDir() const { return m_dir.path() + QStringLiteral("/out"); }
    // What the file queue QUEUE wrote: outputDir()/QUEUE.out.
    QString outputFile(const QString &queue) const { return outputDir() + u'/' + queue + QStringLiteral(".out"); }
    QString dir() const { return m_dir.path(); }

    // Runs a CUPS command-line tool (lpadmin, cupsreject, cupsaccept...) against this
    // server; returns its exit code, -1 if it did not finish.
    int tool(const QString &program, const QStringList &arguments) const;
    int lpadmin(const QStringList &arguments) const { return tool(QStringLiteral("lpadmin"), arguments); }
    // Adds a generic PostScript queue with a duplexer writing into outputFile(name), with
    // the given lpadmin -o options as its defaults; returns lpadmin's exit code.
    int addPsQueue(const QString &name, const QStringList &options = {}) const;
    // Adds a PDF queue like `pdf` (A4 unless the options choose another PageSize).
    int addPdfQueue(const QString &name, const QStringList &options = {}) const;
    // Waits until the queue has no pending jobs; false on time-out.
    bool waitIdle(const QString &queue, int timeoutMs = 30000) const;

private:
    QTemporaryDir m_dir;
    QString m_socket;
    bool m_running = false;
    bool m_notInstalled = false;
    QString m_failure;
};

// Base of a test suite whose tests share one server: starting cupsd takes a second or two.
class CupsServerSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_server = new CupsServer; }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }

    static CupsServer *s_server;
};

// Points libcups at nothing: no queues, no default queue.
void UseNoCupsServer();
void UseCupsServer(const QString &socket);

} // namespace ostrevo::test
