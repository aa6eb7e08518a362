#pragma once

// Small helpers shared by the test programs: real files in real temporary directories.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <ostream>

namespace ostrevo::test {

inline void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write test file " + path.toStdString());
    f.write(bytes);
}

inline QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// Lines as the legacy program writes them: each ends in CR LF.
inline QByteArray DosLines(const QList<QByteArray> &lines)
{
    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += line + "\r\n";
    return bytes;
}

// tests/data/<name>
inline QString TestData(const QString &name)
{
    return QString::fromLocal8Bit(qgetenv("OSTREVO_TEST_DATA")) + u'/' + name;
}

// tests/services/<name>
inline QString ServicesPath(const QString &name)
{
    return QString::fromLocal8Bit(qgetenv("OSTREVO_TEST_SERVICES")) + u'/' + name;
}

// The built ostrevo executable.
inline QString OstrevoBinary()
{
    return QString::fromLocal8Bit(qgetenv("OSTREVO_BINARY"));
}

inline QStringList Entries(const QString &dir)
{
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::Dirs | QDir::System | QDir::NoDotAndDotDot | QDir::Hidden);
    names.sort();
    return names;
}

// Polls the condition, letting queued calls through, until it holds or the time is up.
inline bool WaitFor(const std::function<bool()> &condition, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

} // namespace ostrevo::test

// Failures show texts as text, not as arrays of UTF-16 units.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
