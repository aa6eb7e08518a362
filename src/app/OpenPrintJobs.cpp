#include "app/OpenPrintJobs.h"

#include "devices/TPrinter.h"
#include "jobs/JobFile.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <fcntl.h>
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
        return u"refused: cannot read "_s + path;
    struct stat st;
    QString why;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = u"refused: not a regular file: "_s + path;
    } else if (mustBePdf) {
        char head[1024];
        const ssize_t n = ::pread(fd, head, sizeof head, 0);
        if (n <= 0 || !QByteArray::fromRawData(head, qsizetype(n)).contains("%PDF-"))
            why = u"refused: not a PDF file: "_s + path;
    }
    ::close(fd);
    return why;
}

NamedFile FindNamedFile(const JobContext &context, const QString &textPath, const char *tag,
                        const DosPathMapping &mapDosPath, bool mustBePdf)
{
    const std::optional<QByteArray> value = ReadPdfFileKey(textPath, tag, context.jobText);
    if (!value || value->isEmpty())
        return {{}, u"no PDF_FILE"_s};
    const QString local = mapDosPath ? mapDosPath(*value) : QString::fromLatin1(*value);
    const QFileInfo file(local);
    if (local.isEmpty() || !file.isFile())
        return {{}, u"file does not exist: "_s + (local.isEmpty() ? QString::fromLatin1(*value) : local)};
    // Absolute, so that a name starting with '-' can never pass for an option.
    const QString path = file.absoluteFilePath();
    if (const QString why = Refusal(path, mustBePdf); !why.isEmpty())
        return {{}, {}, why};
    return {path, {}, {}};
}

} // namespace

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
    if (file.path.isEmpty())
        return JobResult::done(file.missing);
    // One argument, no shell: whatever the name holds stays part of the name.
    if (!QProcess::startDetached(u"xdg-open"_s, {file.path}))
        return JobResult::failed(u"cannot start xdg-open for "_s + file.path);
    return JobResult::done(u"opened "_s + file.path);
}

JobResult PrintPdfJob(const JobContext &context, const QString &textPath, const DosPathMapping &mapDosPath)
{
    const NamedFile file = FindNamedFile(context, textPath, "<PRINT>", mapDosPath, true);
    if (!file.refused.isEmpty())
        return JobResult::failed(file.refused);
    if (file.path.isEmpty())
        return JobResult::done(file.missing);
    if (!PrintPdfFile(file.path))
        return JobResult::failed(u"printing failed: "_s + file.path);
    return JobResult::done(u"printed "_s + file.path);
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
