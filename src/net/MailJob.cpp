#include "net/MailJob.h"

#include "jobs/JobFile.h"

namespace ostrevo {

namespace {

// Reads on until a line holds the tag; false at the end of the file.
bool SeekTag(LineReader &reader, const char *tag, QByteArray &tagLine)
{
    while (auto raw = reader.next()) {
        tagLine = RemoveComment(*raw);
        if (HoldsTag(tagLine, tag))
            return true;
    }
    return false;
}

void ReadAddresses(LineReader &reader, const QByteArray &tagLine, MailJob &job)
{
    job.Addresses.clear();
    QByteArray line = tagLine;
    while (!HoldsTag(line, "<END>")) {
        const auto raw = reader.next();
        if (!raw)
            break;
        line = RemoveComment(*raw);
        if (line.contains('@'))
            job.Addresses.append(line);
    }
}

void ReadBody(LineReader &reader, const QByteArray &tagLine, MailJob &job)
{
    job.Body.clear();
    QByteArray line = tagLine;
    while (!HoldsTag(line, "<END>")) {
        const auto raw = reader.next();
        if (!raw)
            break;
        line = RemoveComment(*raw);
        if (!HoldsTag(line, "<END>"))
            job.Body.append(line);
    }
}

} // namespace

void ReadMailJob(LineReader &reader, MailJob &job)
{
    QByteArray tagLine;
    if (!SeekTag(reader, "<MAIL>", tagLine))
        return;
    const KeyBlock keys = ReadKeyBlock(reader, tagLine);
    if (keys.contains("T_MAIL"))
        job.Subject = keys.value("T_MAIL");
    if (keys.contains("F_MAIL"))
        job.Attachment = keys.value("F_MAIL");
    if (!SeekTag(reader, "<LISTA>", tagLine))
        return;
    ReadAddresses(reader, tagLine, job);
    if (SeekTag(reader, "<MAIL_BODY>", tagLine))
        ReadBody(reader, tagLine, job);
}

void ReadMailBody(LineReader &reader, MailJob &job)
{
    QByteArray tagLine;
    if (SeekTag(reader, "<MAIL_BODY>", tagLine))
        ReadBody(reader, tagLine, job);
}

} // namespace ostrevo
