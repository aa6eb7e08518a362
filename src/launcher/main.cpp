// The installed `ostrevo`: answers --help and --version, ends an --once that would find
// nothing to do, and hands every other start to the program (exec: the same process, so
// services, signals and pipes see no difference). It links Qt Core alone, so that a
// script or cron calling --once every minute does not load printing, fonts and network
// libraries only to find an empty directory.

#include "app/CommandLine.h"
#include "app/ProgramDir.h"
#include "jobs/CalledAs.h"
#include "launcher/OnceProbe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

using namespace ostrevo;

namespace {

// This executable's own path, as the kernel knows it (links resolved).
QString OwnPath()
{
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? QFile::decodeName(QByteArray(path, n)) : QString();
}

int RunProgram(char *argv[], const QString &self, const QString &programName)
{
    const QString program = QDir::cleanPath(QFileInfo(self).absolutePath() + QStringLiteral("/" OSTREVO_PROGRAM_FROM_LAUNCHER));
    ::setenv(CalledAsVariable, QFile::encodeName(self).constData(), 1);
    ::execv(QFile::encodeName(program).constData(), argv);
    const int error = errno;
    PrintText(stderr, programName + QStringLiteral(": the program %1 cannot be started: %2\n")
                      .arg(program, QString::fromLocal8Bit(std::strerror(error))));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const QString programName = QFileInfo(arguments.value(0, QStringLiteral("ostrevo"))).fileName();
    const QString self = OwnPath();
    const CommandLine cl = CommandLine::parse(arguments);
    // A wrong command line is the program's to explain, like everything else below.
    if (cl.error.isEmpty() && cl.help) {
        PrintText(stdout, CommandLine::usage(programName));
        return 0;
    }
    if (cl.error.isEmpty() && cl.version) {
        PrintText(stdout, CommandLine::versionText());
        return 0;
    }
    if (cl.error.isEmpty() && cl.once && !self.isEmpty()
        && OnceHasNothingToDo(ResolveProgramDir(cl.home, QFileInfo(self).absolutePath()), QFileInfo(self).fileName()))
        return 0;
    return RunProgram(argv, self, programName);
}
