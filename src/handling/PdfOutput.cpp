#include "handling/PdfOutput.h"

#include "handling/OutputPlace.h"
#include "handling/ResultFile.h"
#include "jobs/Charsets.h"
#include "jobs/DosPath.h"
#include "jobs/Errors.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

PdfJobOutput ResolvePdfOutput(const JobContext &context, const QByteArray &pdfFile, const QByteArray &pdfPath)
{
    const QMap<QChar, QString> &drives = context.settings->drives;
    if (!pdfPath.isEmpty()) {
        QByteArray path = pdfPath;
        if (!path.endsWith('\\') && !path.endsWith('/'))
            path += '\\';
        const QString local = DosPathMapper(drives, context.programDir).toLocal(path + pdfFile);
        return {pdfFile.isEmpty() && !local.endsWith(u'/') ? local + u'/' : local, {}};
    }
    const QString dir = WorkDirectory(context.currentJobDir, QStringLiteral("PDF"));
    if (pdfFile.isEmpty())
        return {dir + u'/', dir};
    return {DosPathMapper(drives, dir).toLocal(pdfFile), dir};
}

QString PreparePdfOutput(const JobContext &context, const QByteArray &pdfFile, const QByteArray &pdfPath)
{
    const PdfJobOutput output = ResolvePdfOutput(context, pdfFile, pdfPath);
    if (!output.workDir.isEmpty()) {
        const QString &dir = output.workDir;
        const QByteArray name = QFile::encodeName(dir);
        struct stat st;
        if (::lstat(name.constData(), &st) != 0) {
            if (::mkdir(name.constData(), 0775) != 0 && errno != EEXIST)
                throw OutputUnavailable(QStringLiteral("Nie można utworzyć katalogu %1: %2")
                                            .arg(dir, ErrnoText(errno)));
        } else if (S_ISLNK(st.st_mode)) {
            // The share is writable by others: its work directory must not send our files
            // away. Someone set it up so; the job waits until it is a directory again.
            throw OutputUnavailable(
                QStringLiteral("Katalog %1 jest dowiązaniem symbolicznym: plik PDF nie jest w nim zapisywany").arg(dir));
        } else if (::access(name.constData(), W_OK) != 0) {
            throw OutputUnavailable(QStringLiteral("Nie można zapisywać w katalogu %1: %2")
                                        .arg(dir, ErrnoText(errno)));
        }
    }
    if (const QString refusal = PdfFileRefusal(context, output.path); !refusal.isEmpty())
        throw IoError(refusal);
    return output.path;
}

QString HandOverPdf(const MailPdfHandOver &mailPdf, const JobContext &context, const QString &textPath,
                    const QString &pdfPath, const QByteArray &aMail, const QByteArray &tMail)
{
    if (!aMail.contains('@'))
        return {};
    const QString address = Cp852ToUnicode(aMail);
    if (mailPdf) {
        mailPdf(context, textPath, address, pdfPath, Cp852ToUnicode(tMail));
        return QStringLiteral("; poczta do %1").arg(address);
    }
    // Without mail the legacy program must still learn that nothing was sent.
    context.writeResult({context.currentJobDir, QFileInfo(pdfPath).completeBaseName() + QStringLiteral(".txt"), "NOT"});
    return QStringLiteral("; poczta do %1 nie wysłana: brak obsługi poczty").arg(address);
}

} // namespace ostrevo
