#pragma once

// A helper program of the tests (tests/services/*.py) run by /usr/bin/python3 as a real
// process, in a temporary directory of its own; stopped with its owner.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace ostrevo::test {

class PythonService {
public:
    // Runs tests/services/SCRIPT with the address file first, then `arguments`, and waits
    // until the script has written its address there (a port, a device path).
    PythonService(const QString &script, const QStringList &arguments);
    ~PythonService();
    PythonService(const PythonService &) = delete;
    PythonService &operator=(const PythonService &) = delete;

    bool running() const { return !m_address.isEmpty(); }
    int port() const { return m_address.toInt(); }
    const QString &address() const { return m_address; }
    const QString &failure() const { return m_failure; }
    QString dir() const { return m_dir.path(); }
    // Whether the process has ended by itself (or was ended).
    bool finished() const { return m_process.state() == QProcess::NotRunning; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_address;
    QString m_failure;
};

} // namespace ostrevo::test
