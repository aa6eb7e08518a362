#include "net/SystemMail.h"

#include <QElapsedTimer>
#include <QProcess>

namespace ostrevo {

SystemMail::SystemMail(QString command, int timeoutMs)
    : m_command(command.trimmed().isEmpty() ? defaultCommand() : std::move(command)), m_timeoutMs(timeoutMs)
{
}

int SystemMail::send(const QByteArray &message, const std::function<bool()> &cancelled, QString &why) const
{
    QStringList words = QProcess::splitCommand(m_command);
    if (words.isEmpty()) {
        why = QStringLiteral("brak polecenia sendmail");
        return 1;
    }
    const QString program = words.takeFirst();
    words << QStringLiteral("-t") << QStringLiteral("-oi");
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, words);
    if (!process.waitForStarted(10000)) {
        why = QStringLiteral("%1: %2").arg(program, process.errorString());
        return 1;
    }
    process.write(message);
    process.closeWriteChannel();
    QElapsedTimer clock;
    clock.start();
    while (!process.waitForFinished(200)) {
        if (process.state() == QProcess::NotRunning)
            break;
        if (clock.elapsed() > m_timeoutMs || (cancelled && cancelled())) {
            process.kill();
            process.waitForFinished(5000);
            why = QStringLiteral("%1 nie zakończył pracy").arg(program);
            return 2;
        }
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        why = QStringLiteral("%1 zakończył się kodem %2").arg(program).arg(process.exitCode());
        return 2;
    }
    return 0;
}

} // namespace ostrevo
