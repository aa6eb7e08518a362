#include "app/LptCommand.h"

#include "app/InstanceChannel.h"
#include "app/SingleInstance.h"
#include "app/Subsystems.h"
#include "jobs/DosPath.h"
#include "jobs/Errors.h"
#include "lpt/CaptureFiles.h"
#include "lpt/PortPlaces.h"
#include "monitor/JobRecord.h"
#include "monitor/Journal.h"
#include "monitor/SettingsStore.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace ostrevo {

namespace {

// How long a print job waits for the program directory's lock while another start holds
// it without answering (a monitor starting up, --once, another --lpt printing).
constexpr int LockWaitMs = 60000;
// As --once waits for its mail.
constexpr int LptMailWaitMs = 180000;
// A print job of a DOS program is kilobytes; this keeps a runaway input out of memory.
constexpr qsizetype MaxPrintJobBytes = 512LL * 1024 * 1024;

void Complain(const QString &text)
{
    const QByteArray bytes = (QStringLiteral("ostrevo: ") + text + u'\n').toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

bool ReadStandardInput(QByteArray &bytes, QString &why)
{
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            why = ErrnoText(errno);
            return false;
        }
        if (n == 0)
            return true;
        bytes.append(buffer, n);
        if (bytes.size() > MaxPrintJobBytes) {
            why = QStringLiteral("more than %1 MB").arg(MaxPrintJobBytes >> 20);
            return false;
        }
    }
}

// No monitor runs: this process delivers the capture, holding the program directory's lock.
int DeliverHere(const LptCommand &command, const Settings &settings, const PortSettings &port, const QString &capture)
{
    Subsystems subsystems(command.programDir);
    subsystems.setDesktop(command.desktop);
    Journal journal(command.programDir + QStringLiteral("/ostrevo.log"));
    QString failure;
    // Called under the outcomes' own lock, so one line at a time.
    subsystems.laterOutcomes().setSink([&](const LaterOutcome &outcome) {
        JobRecord record = RecordOfLaterOutcome(outcome);
        record.time = QDateTime::currentDateTime();
        record.detail = DosPathMapper::readable(record.detail);
        journal.record(record);
        if (record.failed() && outcome.jobId.isEmpty())
            failure = record.detail;
    });
    const QByteArray name = QFile::encodeName(QFileInfo(capture).fileName());
    const DeliveryResult result = subsystems.deliverCapture(settings, port.name, name);
    if (!subsystems.waitForQueuedMail(LptMailWaitMs))
        Complain(QStringLiteral("mail still waits to be sent; it goes at the next start"));
    subsystems.laterOutcomes().setSink({});
    switch (result.kind) {
    case DeliveryResult::Done:
        if (failure.isEmpty())
            return 0;
        Complain(failure);
        return 1;
    case DeliveryResult::Later:
        Complain(QStringLiteral("[%1] %2; the print job waits in %3 for the monitor")
                     .arg(port.name, result.why, QFileInfo(capture).absolutePath()));
        return 1;
    case DeliveryResult::Busy:
    case DeliveryResult::Quit:
        break;
    }
    Complain(QStringLiteral("[%1] %2 is held by another process; it waits for the monitor").arg(port.name, capture));
    return 1;
}

int HandOver(const LptCommand &command, const Settings &settings, const PortSettings &port, const QString &capture)
{
    const QDeadlineTimer deadline(LockWaitMs);
    for (;;) {
        SingleInstance instance(command.executableName, command.programDir);
        switch (instance.acquire()) {
        case SingleInstance::Outcome::First:
            return DeliverHere(command, settings, port, capture);
        case SingleInstance::Outcome::Failed:
            Complain(instance.error() + QStringLiteral("; the print job waits in %1 for the monitor").arg(capture));
            return 1;
        case SingleInstance::Outcome::Second:
            // The monitor sees the new file; asked, it looks at once, and says whether it
            // serves the port at all.
            if (const std::optional<QByteArray> answer =
                    InstanceChannel::request(instance.socketPath(), "lpt " + port.name.toLatin1(), 3000)) {
                if (answer->startsWith("ok"))
                    return 0;
                Complain(QStringLiteral("the running monitor does not print [%1] (%2); the print job waits in %3 "
                                        "until the monitor is started again")
                             .arg(port.name, QString::fromUtf8(answer->trimmed()), capture));
                return 1;
            }
            break;
        }
        // Held by a start that does not answer: one still starting, --once or another
        // --lpt. Its lock is waited for.
        if (deadline.hasExpired()) {
            Complain(QStringLiteral("another start holds %1 and does not answer; the print job waits in %2 for the monitor")
                         .arg(instance.heldLock(), capture));
            return 1;
        }
        QThread::msleep(200);
    }
}

} // namespace

int RunLptCommand(const LptCommand &command)
{
    const QString lost = QStringLiteral("; the print job was not kept");
    if (!QFileInfo(command.programDir).isDir()) {
        Complain(QStringLiteral("the program directory %1 does not exist (--home)").arg(command.programDir) + lost);
        return 1;
    }
    QByteArray bytes;
    QString why;
    if (!ReadStandardInput(bytes, why)) {
        Complain(QStringLiteral("the print job cannot be read from standard input: %1").arg(why) + lost);
        return 1;
    }
    if (bytes.isEmpty())
        return 0;
    SettingsStore store(command.programDir + QStringLiteral("/Ostrevo.ini"));
    const Settings settings = store.read();
    if (!store.readError().isEmpty()) {
        Complain(store.readError() + lost);
        return 1;
    }
    const PortSettings *port = FindPort(settings, command.port);
    if (!port) {
        Complain(QStringLiteral("%1/Ostrevo.ini has no section [%2] with the port's Katalog")
                     .arg(command.programDir, command.port.toUpper())
                 + lost);
        return 1;
    }
    if (!port->problem.isEmpty()) {
        Complain(QStringLiteral("[%1] in Ostrevo.ini: %2").arg(port->name, port->problem) + lost);
        return 1;
    }
    const QString dir = PortDirectory(*port, settings, command.programDir);
    if (!QFileInfo(dir).isDir()) {
        Complain(QStringLiteral("the directory of [%1], %2, does not exist").arg(port->name, dir) + lost);
        return 1;
    }
    QString capture;
    try {
        capture = WriteCapture(dir, port->name, bytes);
    } catch (const JobError &e) {
        Complain(e.message() + lost);
        return 1;
    }
    return HandOver(command, settings, *port, capture);
}

} // namespace ostrevo
