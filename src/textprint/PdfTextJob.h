#pragma once

#include "devices/RealisedFontCache.h"
#include "handling/JobHandlers.h"
#include "handling/MailPdf.h"
#include "handling/PdfOutput.h"
#include "textprint/SymbolTable.h"
#include "textprint/TextPrintState.h"

#include <QByteArray>
#include <QString>

namespace ostrevo {

class LineReader;

// The header of a <PDF> job: keys as the job gives them, in its code page. Comments are
// part of the values: a "//" may well belong to a file name.
struct PdfJobHeader {
    QByteArray pdfFile; // PDF_FILE
    QByteArray pdfPath; // PDF_PATH
    QByteArray aMail;   // A_MAIL
    QByteArray tMail;   // T_MAIL
    QList<QByteArray> otherKeys; // keys the job kind does not read, as a preview lists them
};

// Skips to the line that holds "<PDF>" and reads the key lines after it up to "<END>";
// the reader stands at the printout's first line afterwards.
PdfJobHeader ReadPdfJobHeader(LineReader &reader);

// Where a <PDF> job writes its file.
inline PdfJobOutput ResolvePdfJobOutput(const JobContext &context, const PdfJobHeader &header)
{
    return ResolvePdfOutput(context, header.pdfFile, header.pdfPath);
}

// Writes <PDF> jobs as PDF files, each on a renderer of its own, and hands each finished
// file to the mail job when the job names an address. One instance lives as long as the
// program: it keeps what outlasts a job (the script memory, the realised fonts).
class PdfTextJobs {
public:
    // `site` is the site's symbol table, read with the settings; none: the tags alone.
    explicit PdfTextJobs(MailPdfHandOver mailPdf = {}, const SymbolTable *site = nullptr);

    // Performs one job. The PDF file goes to PDF_PATH, or to the job directory's "PDF"
    // folder (created on first use). Failures throw: nothing is left under the file's
    // name and no mail goes out.
    JobResult PdfTextJob(const JobContext &context, const QString &textPath);

    void setMailPdf(MailPdfHandOver mailPdf) { m_mailPdf = std::move(mailPdf); }
    const ScriptMemory &scriptMemory() const { return m_memory; }

private:
    RealisedFontCache m_fonts;
    ScriptMemory m_memory;
    MailPdfHandOver m_mailPdf;
    const SymbolTable *m_site = nullptr;
};

// Makes `jobs` the handler of <PDF> jobs (jkPdf).
void RegisterPdfTextHandler(JobHandlers &handlers, PdfTextJobs &jobs);

} // namespace ostrevo
