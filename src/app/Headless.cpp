#include "app/Headless.h"

#include "monitor/Engine.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace ostrevo {

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

void PrintLine(const QString &line)
{
    const QByteArray bytes = (QStringLiteral("ostrevo: ") + line + u'\n').toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

QString StateWord(MonitorState state)
{
    switch (state) {
    case MonitorState::Starting:
        return QStringLiteral("starting");
    case MonitorState::Running:
        return QStringLiteral("running");
    case MonitorState::Paused:
        return QStringLiteral("paused");
    case MonitorState::Error:
        return QStringLiteral("error");
    }
    return {};
}

} // namespace

Headless::Headless(Engine *engine, bool statusLines, QObject *parent) : QObject(parent)
{
    // The paused look during each job is not news; only settled states are printed.
    auto last = std::make_shared<MonitorStatus>();
    auto print = [last](const MonitorStatus &status) {
        if (status.jobRunning || status.state == MonitorState::Starting)
            return;
        if (status.state == last->state && status.text == last->text)
            return;
        *last = status;
        PrintLine(StateWord(status.state) + QStringLiteral(": ") + status.text);
    };
    if (statusLines) {
        connect(engine, &Engine::statusChanged, this, print);
        connect(engine, &Engine::jobStatus, this, [](const QString &text) { PrintLine(QStringLiteral("progress: ") + text); });
    }
    // One line per job, its journal line as it stands (tab-separated, one line whatever
    // the names), so that the service's journal can be searched and parsed like ostrevo.log.
    connect(engine, &Engine::jobFinished, this,
            [](const JobRecord &record) { PrintLine(QStringLiteral("job\t") + JournalLine(record)); });
    connect(engine, &Engine::warning, this, [](const QString &m) { PrintLine(QStringLiteral("warning: ") + m); });
    connect(engine, &Engine::errorEscaped, this, [](const QString &m) { PrintLine(QStringLiteral("error: ") + m); });
}

void Headless::installSignalHandlers()
{
    if (g_signalPipe[0] >= 0)
        return;
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char buffer[16];
        while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace ostrevo
