#include "app/OpenPrintJobs.h"

#include "devices/TPrinter.h"
#include "jobs/JobFile.h"

#include <QFile>
#include <QFileInfo>
#include <QDeadlineTimer>

#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ostrevo {

namespace {

// The existing file a job names, as an absolute path, or why there is none.
struct NamedFile {
    QString path;
    QString missing;
    QString refused;
};

// Only a regular file goes to the opener or the printer; a printout also has to be a PDF
// file, which PDF readers accept with "%PDF-" within its first 1024 bytes. Anything else
// (/etc/passwd, /proc/self/environ, a FIFO) is refused.
QString Refusal(const QString &path, bool mustBePdf)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return u"odrzucone: nie można odczytać "_s + path;
    struct stat st;
    QString why;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = u"odrzucone: to nie jest zwykły plik: "_s + path;
    } else if (mustBePdf) {
        char head[1024];
        const ssize_t n = ::pread(fd, head, sizeof head, 0);
        if (n <= 0 || !QByteArray::fromRawData(head, qsizetype(n)).contains("%PDF-"))
            why = u"odrzucone: to nie jest plik PDF: "_s + path;
    }
    ::close(fd);
    return why;
}

NamedFile FindNamedFile(const JobContext &context, const QString &textPath, const char *tag,
                        const DosPathMapping &mapDosPath, bool mustBePdf)
{
    const std::optional<QByteArray> value = ReadPdfFileKey(textPath, tag, context.jobText);
    if (!value || value->isEmpty())
        return {{}, u"brak PDF_FILE"_s};
    const QString local = mapDosPath ? mapDosPath(*value) : QString::fromLatin1(*value);
    const QFileInfo file(local);
    if (local.isEmpty() || !file.isFile())
        return {{}, u"nie ma pliku: "_s + (local.isEmpty() ? QString::fromLatin1(*value) : local)};
    // Absolute, so that a name starting with '-' can never pass for an option.
    const QString path = file.absoluteFilePath();
    if (const QString why = Refusal(path, mustBePdf); !why.isEmpty())
        return {{}, {}, why};
    return {path, {}, {}};
}

// xdg-open's exit codes (xdg-utils).
QString XdgOpenMeaning(int code)
{
    switch (code) {
    case 1: return u"błędne argumenty"_s;
    case 2: return u"plik nie istnieje"_s;
    case 3: return u"brak programu, który go otworzy"_s;
    case 4: return u"program nie zadziałał"_s;
    default: return u"niepowodzenie"_s;
    }
}

} // namespace

OpenerRun StartOpener(const QString &program, const QString &path, int waitMs)
{
    OpenerRun run;
    const QByteArray programName = QFile::encodeName(program);
    const QByteArray argument = QFile::encodeName(path);
    char *const argv[] = {const_cast<char *>(programName.constData()), const_cast<char *>(argument.constData()),
                          nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, programName.constData(), nullptr, nullptr, argv, environ) != 0)
        return run;
    run.started = true;
    // xdg-open hands the file to the desktop and ends; in a bare session it runs the viewer
    // itself and ends only when the viewer does. Its verdict is waited for a moment only.
    QDeadlineTimer limit(waitMs);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return run;
        }
        if (done < 0 || limit.hasExpired())
            break;
        ::usleep(10 * 1000);
    }
    // Still running: a viewer in the foreground. Reaped when it ends, never waited for.
    std::thread([pid] {
        int ignored = 0;
        ::waitpid(pid, &ignored, 0);
    }).detach();
    return run;
}

std::optional<QByteArray> ReadPdfFileKey(const QString &textPath, const char *tag, int jobText)
{
    LineReader reader(jobText, textPath);
    const std::optional<QByteArray> first = reader.next();
    if (!first)
        return std::nullopt;
    const QByteArray tagLine = RemoveComment(*first);
    if (!HoldsTag(tagLine, tag))
        return std::nullopt;
    const KeyBlock block = ReadKeyBlock(reader, tagLine);
    const auto it = block.constFind(QByteArrayLiteral("PDF_FILE"));
    if (it == block.constEnd())
        return std::nullopt;
    return *it;
}

JobResult OpenPdfJob(const JobContext &context, const QString &textPath, const DosPathMapping &mapDosPath)
{
    const NamedFile file = FindNamedFile(context, textPath, "<OPEN>", mapDosPath, false);
    if (!file.refused.isEmpty())
        return JobResult::failed(file.refused);
    // The legacy program learns nothing either way; the user is shown that nothing opened.
    if (file.path.isEmpty())
        return JobResult::nothingDone(file.missing);
    // One argument, no shell: whatever the name holds stays part of the name.
    const OpenerRun run = StartOpener(u"xdg-open"_s, file.path);
    if (!run.started)
        return JobResult::nothingDone(u"nie można uruchomić xdg-open dla "_s + file.path);
    if (run.exitCode && *run.exitCode != 0)
        return JobResult::nothingDone(u"xdg-open zakończył się kodem %1 (%2): "_s.arg(*run.exitCode).arg(XdgOpenMeaning(*run.exitCode))
                                      + file.path);
    return JobResult::done(u"otwarto "_s + file.path);
}

JobResult PrintPdfJob(const JobContext &context, const QString &textPath, const DosPathMapping &mapDosPath)
{
    const NamedFile file = FindNamedFile(context, textPath, "<PRINT>", mapDosPath, true);
    if (!file.refused.isEmpty())
        return JobResult::failed(file.refused);
    if (file.path.isEmpty())
        return JobResult::nothingDone(file.missing);
    if (!PrintPdfFile(file.path))
        return JobResult::failed(u"drukowanie nie powiodło się: "_s + file.path);
    return JobResult::done(u"wydrukowano "_s + file.path);
}

void RegisterOpenPrintHandlers(JobHandlers &handlers, DosPathMapping mapDosPath)
{
    handlers.set(jkOpen, [mapDosPath](const JobContext &context, const QString &textPath) {
        return OpenPdfJob(context, textPath, mapDosPath);
    });
    handlers.set(jkPrint, [mapDosPath](const JobContext &context, const QString &textPath) {
        return PrintPdfJob(context, textPath, mapDosPath);
    });
}

} // namespace ostrevo
