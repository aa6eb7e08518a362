#pragma once

// A program directory of its own for the real executable, run as a subprocess: settings,
// a jobs directory, and an environment that keeps it away from the user's own session.

#include "support/TestSupport.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <memory>

namespace ostrevo::test {

struct Install {
    QTemporaryDir home;
    QTemporaryDir config; // XDG_CONFIG_HOME: the autostart entry lands here, not in ~
    QTemporaryDir runtime;
    QTemporaryDir cache; // XDG_CACHE_HOME: previews land here, not in ~

    // Where a preview without an output named is written.
    QString previewOf(const QString &name) const
    {
        return cache.path() + QStringLiteral("/ostrevo/podglad/") + name + QStringLiteral("-podglad.pdf");
    }
    QString jobs = home.filePath(QStringLiteral("jobs"));

    explicit Install(const QByteArray &options = "Timer=1\r\nMonitorowanie=1\r\n")
    {
        QDir().mkpath(jobs);
        WriteFile(home.filePath(QStringLiteral("Ostrevo.ini")),
                  "[Opcje]\r\nKatalog=" + jobs.toUtf8() + "\r\nDrukarka=Ostrevo PDF\r\n" + options
                      + "[DrukarkaPDF]\r\nKatalog=" + home.filePath(QStringLiteral("out")).toUtf8() + "\r\n");
    }

    QProcessEnvironment env() const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        e.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        e.insert(QStringLiteral("XDG_CACHE_HOME"), cache.path());
        e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return e;
    }

    std::unique_ptr<QProcess> start(const QStringList &args) const
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env());
        p->start(OstrevoBinary(), QStringList{QStringLiteral("--home"), home.path()} + args);
        p->waitForStarted();
        return p;
    }

    int run(const QStringList &args, QByteArray *err = nullptr) const
    {
        auto p = start(args);
        p->waitForFinished(60000);
        if (err)
            *err = p->readAllStandardError();
        return p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
    }

    void job(const QString &name, const QByteArray &text) const
    {
        WriteFile(jobs + u'/' + name + QStringLiteral(".txt"), text);
        WriteFile(jobs + u'/' + name + QStringLiteral(".END"), {});
    }

    QByteArray journal() const { return ReadFile(home.filePath(QStringLiteral("ostrevo.log"))); }

    // Waits for the headless monitor's first settled status line.
    static bool waitRunning(QProcess *monitor, QByteArray *log)
    {
        return WaitFor([&] {
            monitor->waitForReadyRead(100);
            *log += monitor->readAllStandardError();
            return log->contains("running: ") || monitor->state() == QProcess::NotRunning;
        }) && log->contains("running: ");
    }
};

} // namespace ostrevo::test
