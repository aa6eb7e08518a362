#pragma once

// Reading PDF output back with poppler's command-line tools.

#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

namespace ostrevo::test {

struct PdfWord {
    QString text;
    QRectF box; // points, from the page's top-left corner
};

// How pdftotext lays the text out.
enum class PdfTextLayout {
    Reading,  // words in reading order
    Physical, // -layout: lines and columns where they stand on the page
};

// Standard output of the program.
QString RunTool(const QString &program, const QStringList &arguments);
// qpdf --check on the file: empty when the file is sound, else what qpdf found. Every
// helper below that reads a PDF checks it first (once per version of the file) and fails
// the running test when it is not sound.
QString QpdfProblems(const QString &path);
void ExpectSoundPdf(const QString &path);
int PdfPageCount(const QString &path);
// "Page size:" of pdfinfo, e.g. "595.276 x 841.89 pts (A4)".
QString PdfPageSize(const QString &path);
QString PdfText(const QString &path, PdfTextLayout layout = PdfTextLayout::Reading);
// The words of every page, page by page, each page's blanks run together.
QStringList PdfPageTexts(const QString &path);
// The words of page `page` (from 1), or of every page when it is 0.
QList<PdfWord> PdfWords(const QString &path, int page = 0);
QString PdfFonts(const QString &path);
// The first word of that text; a test failure and an empty word when there is none.
PdfWord WordNamed(const QList<PdfWord> &words, const QString &text);
// The PDF files in a directory, by name.
QStringList PdfFilesIn(const QString &dir);

// Device pixels at 600 dpi to points.
inline double Pt(double px)
{
    return px * 72.0 / 600.0;
}

} // namespace ostrevo::test
