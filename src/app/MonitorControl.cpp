#include "app/MonitorControl.h"

#include "app/InstanceChannel.h"
#include "monitor/Engine.h"

#include <QFile>
#include <QPointer>

#include <cstdio>

namespace ostrevo {

namespace {

// A pause or resumption waits for the running job; a long printout may take this long.
constexpr int ControlWaitMs = 60000;

QByteArray StatusStateWord(MonitorState state)
{
    switch (state) {
    case MonitorState::Starting:
        return "starting";
    case MonitorState::Running:
        return "running";
    case MonitorState::Paused:
        return "paused";
    case MonitorState::Error:
        return "error";
    }
    return {};
}

void Print(FILE *stream, const QByteArray &text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stream);
    std::fflush(stream);
}

} // namespace

MonitorControl::MonitorControl(Engine *engine, InstanceChannel *channel, QObject *parent)
    : QObject(parent), m_engine(engine)
{
    connect(engine, &Engine::statusChanged, this, [this](const MonitorStatus &status) { m_status = status; });
    connect(engine, &Engine::jobStarted, this, [this](const QString &path) { m_runningJob = path; });
    connect(engine, &Engine::jobFinished, this, [this](const JobRecord &record) {
        if (!record.follows.isEmpty())
            return;
        m_runningJob.clear();
        m_lastJob = record;
        m_anyJob = true;
    });
    channel->setHandler([this](const QByteArray &request, std::function<void(const QByteArray &)> reply) {
        handle(request, reply);
    });
}

QByteArray MonitorControl::statusText() const
{
    QByteArray text = "state: " + StatusStateWord(m_status.state) + '\n';
    text += "status: " + m_status.text.toUtf8() + '\n';
    if (!m_status.problem.isEmpty() && m_status.problem != m_status.text)
        text += "problem: " + m_status.problem.toUtf8() + '\n';
    if (!m_runningJob.isEmpty())
        text += "job: " + m_runningJob.toUtf8() + '\n';
    text += "queued: " + QByteArray::number(m_status.queued) + '\n';
    if (m_anyJob)
        text += "last: " + JournalLine(m_lastJob).toUtf8() + '\n';
    return text;
}

void MonitorControl::handle(const QByteArray &request, const std::function<void(const QByteArray &)> &reply)
{
    if (request == "status") {
        reply(statusText());
        return;
    }
    if (request.startsWith("lpt ")) {
        reply(m_portRequests ? m_portRequests(QString::fromLatin1(request.mid(4))) : QByteArray("not served: no printer ports\n"));
        return;
    }
    if (request != "pause" && request != "resume") {
        reply("unknown request\n");
        return;
    }
    const bool resume = request == "resume";
    QPointer<MonitorControl> self(this);
    Engine *engine = m_engine;
    // Taken by the engine between two jobs; the answer comes back to this thread.
    QMetaObject::invokeMethod(engine, [self, engine, resume, reply] {
        const int code = engine->setMonitoring(resume);
        const QString why = code == 0 ? QString() : engine->settingsProblem(code);
        QMetaObject::invokeMethod(self.data(), [self, code, why, resume, reply] {
            if (!self)
                return;
            QByteArray text = self->statusText();
            if (resume && code != 0)
                text = "refused: " + why.toUtf8() + '\n' + text;
            reply(text);
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

int AskRunningMonitor(const QString &socketPath, const QString &programDir, const QByteArray &request)
{
    const int wait = request == "status" ? 5000 : ControlWaitMs;
    const std::optional<QByteArray> answer = InstanceChannel::request(socketPath, request, wait);
    if (!answer) {
        Print(stderr, "ostrevo: no running Ostrevo answers for " + QFile::encodeName(programDir)
                          + (request == "status" ? QByteArray() : QByteArray(" (or its job did not end in time)")) + '\n');
        return 3;
    }
    Print(stdout, *answer);
    return answer->startsWith("refused:") || answer->startsWith("unknown") ? 1 : 0;
}

} // namespace ostrevo
