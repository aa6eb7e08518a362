#include "app/OpenPrintJobs.h"

#include "devices/TPrinter.h"
#include "jobs/JobFile.h"

#include <QFileInfo>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace ostrevo {

namespace {

// The existing file a job names, as an absolute path, or why there is none.
struct NamedFile {
    QString path;
    QString missing;
};

NamedFile FindNamedFile(const JobContext &context, const QString &textPath, const char *tag,
                        const DosPathMapping &mapDosPath)
{
    const std::optional<QByteArray> value = ReadPdfFileKey(textPath, tag, context.jobText);
    if (!value || value->isEmpty())
        return {{}, u"no PDF_FILE"_s};
    const QString local = mapDosPath ? mapDosPath(*value) : QString::fromLatin1(*value);
    const QFileInfo file(local);
    if (local.isEmpty() || !file.isFile())
        return {{}, u"file does not exist: "_s + (local.isEmpty() ? QString::fromLatin1(*value) : local)};
    // Absolute, so that a name starting with '-' can never pass for an option.
    return {file.absoluteFilePath(), {}};
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
    const NamedFile file = FindNamedFile(context, textPath, "<OPEN>", mapDosPath);
    if (file.path.isEmpty())
        return JobResult::done(file.missing);
    // One argument, no shell: whatever the name holds stays part of the name.
    if (!QProcess::startDetached(u"xdg-open"_s, {file.path}))
        return JobResult::failed(u"cannot start xdg-open for "_s + file.path);
    return JobResult::done(u"opened "_s + file.path);
}

JobResult PrintPdfJob(const JobContext &context, const QString &textPath, const DosPathMapping &mapDosPath)
{
    const NamedFile file = FindNamedFile(context, textPath, "<PRINT>", mapDosPath);
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
