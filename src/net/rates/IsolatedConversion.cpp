#include "net/rates/IsolatedConversion.h"

#include "jobs/Errors.h"
#include "jobs/UniqueFd.h"
#include "net/rates/DbfTable.h"
#include "net/rates/XlsToDbf.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ostrevo {

namespace {

// The child's message: what failed, as XlsToDbf put it. `ended`: the child closed its
// end (it is ending) before the time was up.
QByteArray ReadMessage(int fd, QElapsedTimer &clock, qint64 limitMs, bool &ended)
{
    ended = false;
    QByteArray text;
    char buffer[1024];
    for (;;) {
        const qint64 left = limitMs - clock.elapsed();
        if (left <= 0)
            break;
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, int(std::min<qint64>(left, 1000)));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            continue;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ended = true;
            break;
        }
        if (text.size() < 16384)
            text.append(buffer, qsizetype(got));
    }
    return text;
}

constexpr const char *ConversionOption = "--convert-workbook";

} // namespace

int RunWorkbookConversion(int argc, char **argv)
{
    if (argc != 4 || std::strcmp(argv[1], ConversionOption) != 0)
        return -1;
    QString message;
    const int result = XlsToDbf(QFile::decodeName(argv[2]), QFile::decodeName(argv[3]), message);
    const QByteArray bytes = message.toUtf8();
    WriteAll(STDOUT_FILENO, bytes.constData(), size_t(bytes.size()));
    return result == 0 ? 0 : 1;
}

int XlsToDbfIsolated(const QString &workbookPath, const QString &tablePath, QString &why, int timeoutSeconds)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        why = QStringLiteral("Nie można przekształcić %1: %2").arg(workbookPath, ErrnoText(errno));
        return 1;
    }
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    // Everything the child needs is made before the fork: between fork and exec it may
    // only make system calls, since another thread may have held any lock at the fork.
    const QByteArray workbook = QFile::encodeName(workbookPath);
    const QByteArray table = QFile::encodeName(tablePath);
    char program[] = "/proc/self/exe";
    char *const arguments[] = {program, const_cast<char *>(ConversionOption), const_cast<char *>(workbook.constData()),
                               const_cast<char *>(table.constData()), nullptr};
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0) {
        why = QStringLiteral("Nie można przekształcić %1: %2").arg(workbookPath, ErrnoText(errno));
        return 1;
    }
    if (child == 0) {
        // Killed with the thread that waits for it, should the monitor be stopped by force.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        if (::dup2(writeEnd.fd, STDOUT_FILENO) < 0)
            ::_exit(127);
        ::execv(program, arguments);
        ::_exit(127);
    }
    writeEnd = UniqueFd();
    QElapsedTimer clock;
    clock.start();
    bool closed = false;
    const QByteArray message = ReadMessage(readEnd.fd, clock, qint64(timeoutSeconds) * 1000, closed);
    int status = 0;
    if (!closed) {
        ::kill(child, SIGKILL);
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        why = QStringLiteral("Przekształcanie %1 nie skończyło się w ciągu %2 s").arg(workbookPath).arg(timeoutSeconds);
        RemoveStaleTables(QFileInfo(tablePath).path());
        return 1;
    }
    pid_t ended = ::waitpid(child, &status, 0);
    while (ended < 0 && errno == EINTR)
        ended = ::waitpid(child, &status, 0);
    if (ended == child && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return 0;
    RemoveStaleTables(QFileInfo(tablePath).path());
    if (ended == child && WIFEXITED(status) && WEXITSTATUS(status) == 1 && !message.isEmpty())
        why = QString::fromUtf8(message);
    else
        why = QStringLiteral("Przekształcanie %1 przerwało się (%2)")
                  .arg(workbookPath,
                       ended == child && WIFSIGNALED(status) ? QStringLiteral("signal %1").arg(WTERMSIG(status))
                       : ended == child && WIFEXITED(status)  ? QStringLiteral("kod wyjścia %1").arg(WEXITSTATUS(status))
                                                              : ErrnoText(errno));
    return 1;
}

} // namespace ostrevo
