#include "escp/GhostscriptConversion.h"

#include "jobs/Errors.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace ostrevo {

namespace {

constexpr int TimeLimitMs = 120 * 1000;

} // namespace

void ConvertWithGhostscript(const QByteArray &job, bool pcl, const QString &pdfPath)
{
    const QString program = QStandardPaths::findExecutable(pcl ? QStringLiteral("gpcl6") : QStringLiteral("gs"));
    if (program.isEmpty())
        throw JobError(pcl ? QStringLiteral("wydruk w języku PCL wymaga programu gpcl6 (GhostPCL), którego tu nie ma")
                           : QStringLiteral("wydruk w PostScripcie wymaga programu gs (pakiet ghostscript), którego tu nie ma"));
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    // -dSAFER: the job cannot read or write files of its own; the job comes on stdin.
    process.start(program, {QStringLiteral("-q"), QStringLiteral("-dSAFER"), QStringLiteral("-dBATCH"),
                            QStringLiteral("-dNOPAUSE"), QStringLiteral("-sDEVICE=pdfwrite"),
                            QStringLiteral("-sOutputFile=") + pdfPath, QStringLiteral("-")});
    if (!process.waitForStarted(10000))
        throw JobError(QStringLiteral("nie można uruchomić %1: %2").arg(program, process.errorString()));
    process.write(job);
    process.closeWriteChannel();
    if (!process.waitForFinished(TimeLimitMs)) {
        process.kill();
        process.waitForFinished(5000);
        throw JobError(QStringLiteral("%1 nie skończył w %2 s").arg(program).arg(TimeLimitMs / 1000));
    }
    QFile out(pdfPath);
    const bool made = out.open(QIODevice::ReadOnly) && out.read(5) == "%PDF-";
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 || !made) {
        const QString said = QString::fromLocal8Bit(process.readAllStandardError() + process.readAllStandardOutput())
                                 .simplified().left(300);
        throw JobError(QStringLiteral("%1 nie zamienił wydruku na PDF (kod %2)%3")
                           .arg(program)
                           .arg(process.exitCode())
                           .arg(said.isEmpty() ? QString() : QStringLiteral(": ") + said));
    }
}

} // namespace ostrevo
