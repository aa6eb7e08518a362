#pragma once

// `ostrevo --home HOME --once` as a scripted run starts it: with configuration and runtime
// directories of its own, so that nothing of this machine's desktop is touched.

#include "support/TestSupport.h"

#include <QProcess>
#include <QString>

namespace ostrevo::test {

struct OnceRun {
    int exitCode = -1;
    QString errors; // what it wrote on stderr
};

inline OnceRun RunOnce(const QString &home, const QString &runtimeDir)
{
    QProcess ostrevo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    ostrevo.setProcessEnvironment(env);
    ostrevo.start(OstrevoBinary(), {QStringLiteral("--home"), home, QStringLiteral("--once")});
    OnceRun run;
    if (!ostrevo.waitForFinished(120000))
        return run;
    run.exitCode = ostrevo.exitCode();
    run.errors = QString::fromUtf8(ostrevo.readAllStandardError());
    return run;
}

} // namespace ostrevo::test
