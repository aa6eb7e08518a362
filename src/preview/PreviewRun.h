#pragma once

#include "preview/JobPreview.h"

#include <QObject>
#include <QProcess>
#include <QString>

#include <memory>

namespace ostrevo {

// A preview of one job in a process of its own (the program with --preview): whatever a
// job file does to the renderers, the monitor that asked goes on. One at a time.
class PreviewRun : public QObject {
    Q_OBJECT
public:
    // `executable`: the ostrevo program; `programDir`: the settings it lays out with.
    PreviewRun(QString executable, QString programDir, QObject *parent = nullptr);
    ~PreviewRun() override;

    // False while an earlier preview still runs.
    bool start(const QString &jobPath);
    bool running() const;

    // The report a preview printed, with its exit code.
    static PreviewOutcome parse(int exitCode, const QByteArray &output);

signals:
    void finished(const ostrevo::PreviewOutcome &outcome);

private:
    void done(int exitCode, QProcess::ExitStatus status);

    QString m_executable;
    QString m_programDir;
    std::unique_ptr<QProcess> m_process;
};

} // namespace ostrevo
