#include "textprint/PdfTextJob.h"

#include "handling/ResultFile.h"
#include "jobs/Charsets.h"
#include "jobs/DosPath.h"
#include "jobs/JobFile.h"
#include "textprint/TFormA1.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace ostrevo {

PdfJobHeader ReadPdfJobHeader(LineReader &reader)
{
    PdfJobHeader header;
    while (auto line = reader.next()) {
        if (!HoldsTag(*line, "<PDF>"))
            continue;
        const KeyBlock keys = ReadKeyBlock(reader, *line, true);
        header.pdfFile = keys.value("PDF_FILE");
        header.pdfPath = keys.value("PDF_PATH");
        header.aMail = keys.value("A_MAIL");
        header.tMail = keys.value("T_MAIL");
        for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
            if (it.key() != "PDF_FILE" && it.key() != "PDF_PATH" && it.key() != "A_MAIL" && it.key() != "T_MAIL")
                header.otherKeys.append(it.key());
        }
        break;
    }
    return header;
}

PdfTextJobs::PdfTextJobs(MailPdfHandOver mailPdf)
    : m_mailPdf(std::move(mailPdf))
{
}

PdfJobOutput ResolvePdfJobOutput(const JobContext &context, const PdfJobHeader &header)
{
    const QMap<QChar, QString> drives = context.settings ? context.settings->drives : QMap<QChar, QString>{};
    if (!header.pdfPath.isEmpty()) {
        QByteArray path = header.pdfPath;
        if (!path.endsWith('\\') && !path.endsWith('/'))
            path += '\\';
        const QString local = DosPathMapper(drives, context.programDir).toLocal(path + header.pdfFile);
        return {header.pdfFile.isEmpty() && !local.endsWith(u'/') ? local + u'/' : local, {}};
    }
    const QString dir = WorkDirectory(context.currentJobDir, QStringLiteral("PDF"));
    if (header.pdfFile.isEmpty())
        return {dir + u'/', dir};
    return {DosPathMapper(drives, dir).toLocal(header.pdfFile), dir};
}

QString PdfTextJobs::outputPath(const JobContext &context, const PdfJobHeader &header) const
{
    const PdfJobOutput output = ResolvePdfJobOutput(context, header);
    if (output.workDir.isEmpty())
        return output.path;
    const QString &dir = output.workDir;
    const QByteArray name = QFile::encodeName(dir);
    struct stat st;
    if (::lstat(name.constData(), &st) != 0) {
        if (::mkdir(name.constData(), 0775) != 0 && errno != EEXIST)
            throw OutputUnavailable(QStringLiteral("Cannot create the directory %1: %2")
                                        .arg(dir, QString::fromLocal8Bit(std::strerror(errno))));
    } else if (S_ISLNK(st.st_mode)) {
        // The share is writable by others: its work directory must not send our files away.
        throw IoError(QStringLiteral("The directory %1 is a symbolic link: no PDF file is written there").arg(dir));
    }
    return output.path;
}

JobResult PdfTextJobs::PdfTextJob(const JobContext &context, const QString &textPath)
{
    QString pdfPath;
    int pages = 0;
    PdfJobHeader header;
    {
        LineReader reader(context.jobText, textPath);
        header = ReadPdfJobHeader(reader);
        pdfPath = outputPath(context, header);
        TFormA1 form(m_fonts, m_memory);
        pages = form.render(reader, pdfPath, context.quitRequested);
    }
    QString detail = QStringLiteral("%1, stron: %2").arg(pdfPath).arg(pages);
    if (header.aMail.contains('@')) {
        const QString address = Cp852ToUnicode(header.aMail);
        if (m_mailPdf) {
            m_mailPdf(context, textPath, address, pdfPath, Cp852ToUnicode(header.tMail));
            detail += QStringLiteral("; poczta do %1").arg(address);
        } else {
            // Without mail the legacy program must still learn that nothing was sent.
            WriteResultFile(context.currentJobDir, QFileInfo(pdfPath).completeBaseName() + QStringLiteral(".txt"),
                            "NOT");
            detail += QStringLiteral("; poczta do %1 nie wysłana: brak obsługi poczty").arg(address);
        }
    }
    return JobResult::done(detail);
}

void RegisterPdfTextHandler(JobHandlers &handlers, PdfTextJobs &jobs)
{
    handlers.set(jkPdf, [&jobs](const JobContext &context, const QString &textPath) {
        return jobs.PdfTextJob(context, textPath);
    });
}

} // namespace ostrevo
