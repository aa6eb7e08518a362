#include "preview/PreviewRun.h"

#include <QTimer>

namespace ostrevo {

namespace {

// A preview of the longest printout takes seconds; one that takes this long is stuck.
constexpr int PreviewTimeoutMs = 120000;

} // namespace

PreviewRun::PreviewRun(QString executable, QString programDir, QObject *parent)
    : QObject(parent)
    , m_executable(std::move(executable))
    , m_programDir(std::move(programDir))
{
}

PreviewRun::~PreviewRun()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

bool PreviewRun::running() const
{
    return m_process != nullptr;
}

bool PreviewRun::start(const QString &jobPath)
{
    if (m_process)
        return false;
    m_process = std::make_unique<QProcess>();
    // The report is what the user reads; what Qt says on stderr is not.
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->setStandardErrorFile(QProcess::nullDevice());
    connect(m_process.get(), &QProcess::finished, this, &PreviewRun::done);
    connect(m_process.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done(-1, QProcess::CrashExit);
    });
    QTimer::singleShot(PreviewTimeoutMs, m_process.get(), [process = m_process.get()] { process->kill(); });
    m_process->start(m_executable, {QStringLiteral("--home"), m_programDir, QStringLiteral("--preview"), jobPath});
    return true;
}

void PreviewRun::done(int exitCode, QProcess::ExitStatus status)
{
    if (!m_process)
        return;
    std::unique_ptr<QProcess> process = std::move(m_process);
    process->disconnect(this);
    PreviewOutcome outcome;
    if (status == QProcess::NormalExit) {
        outcome = parse(exitCode, process->readAllStandardOutput());
    } else {
        outcome.exitCode = -1;
        outcome.report.append(QStringLiteral("Błąd: podgląd przerwany: %1").arg(process->errorString()));
    }
    process.release()->deleteLater();
    emit finished(outcome);
}

PreviewOutcome PreviewRun::parse(int exitCode, const QByteArray &output)
{
    PreviewOutcome outcome;
    outcome.exitCode = exitCode;
    outcome.report = QString::fromUtf8(output).split(u'\n', Qt::SkipEmptyParts);
    const QString written = QStringLiteral("Podgląd: ");
    for (const QString &line : outcome.report) {
        if (line.startsWith(written))
            outcome.pdfPath = line.mid(written.size());
    }
    return outcome;
}

} // namespace ostrevo
