#include "jobs/Classifier.h"

#include "jobs/JobFile.h"

namespace ostrevo {

namespace {

struct TagKind {
    const char *tag;
    JobKind kind;
};

// Order matters: the first tag found on the line decides.
constexpr TagKind TagOrder[] = {
    {"<FTP>", jkFtp},   {"<MAIL>", jkMail},   {"<PDF>", jkPdf},
    {"<DOWNLOAD>", jkDownload}, {"<OPEN>", jkOpen}, {"<PRINT>", jkPrint},
    {"<DF>", jkDf},     {"<WALUTA>", jkWaluta}, {"<KSEF>", jkKsef},
};

// A <PIT> job goes to PDF when its key block names PDF_FILE, whatever the value.
JobKind PitKind(LineReader &reader, const QByteArray &pitLine)
{
    if (HoldsTag(pitLine, "<END>"))
        return jkPit;
    while (auto raw = reader.next()) {
        const QByteArray line = RemoveComment(*raw);
        if (auto kv = ParseKeyLine(line); kv && kv->key == "PDF_FILE")
            return jkPitPdf;
        if (HoldsTag(line, "<END>"))
            break;
    }
    return jkPit;
}

} // namespace

JobKind ClassifyJob(const QString &path, int jobText)
{
    LineReader reader(jobText, path);
    while (auto raw = reader.next()) {
        const QByteArray line = RemoveComment(*raw);
        if (line.isEmpty())
            continue;
        const QByteArray upper = UpperAscii(line);
        if (upper.contains("<PIT>"))
            return PitKind(reader, line);
        for (const TagKind &tk : TagOrder) {
            if (upper.contains(tk.tag))
                return tk.kind;
        }
        return jkText;
    }
    return jkEmpty;
}

QByteArray JobTagOf(const QByteArray &line)
{
    const QByteArray upper = UpperAscii(line);
    if (upper.contains("<PIT>"))
        return QByteArrayLiteral("<PIT>");
    for (const TagKind &tk : TagOrder) {
        if (upper.contains(tk.tag))
            return QByteArray(tk.tag);
    }
    return {};
}

} // namespace ostrevo
