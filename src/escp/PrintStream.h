#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ostrevo {

// What a DOS program's print stream is written in, as its first bytes tell.
enum class PrintLanguage { Escp, PlainText, Pdf, PostScript, Pcl };

// The Polish name of a print language, as the journal and --check show it.
QString PrintLanguageName(PrintLanguage language);

// How one printer port's output is read.
struct PrintStreamOptions {
    // "852", "mazowia", "437", "1250" or "auto" (chosen by the letters' bytes).
    QString codePage = QStringLiteral("852");
    // Lines of 1/6" to a page when the program sets no page length; 0 = the A4 sheet's.
    int pageLines = 0;
    // The PDF's title: the capture's name.
    QString title;
};

// What rendering found out, for the journal, --check and --preview.
struct PrintStreamReport {
    PrintLanguage language = PrintLanguage::Escp;
    QString codePage;          // the one used; for "auto" the one the bytes chose
    bool codePageGuessed = false;
    int pages = 0;
    QStringList unknownCommands; // each once, in order of first use ("ESC ( Q", "ESC 0x8f")
};

// Looks at the first bytes only.
PrintLanguage DetectPrintLanguage(const QByteArray &bytes);

// Renders one captured print job into the PDF file `pdfPath`: ESC/P and plain text by our
// own interpreter, PostScript and PCL through Ghostscript, a PDF copied as it is. The file
// appears whole or not at all. Throws JobError (a Polish message) on failure.
PrintStreamReport RenderPrintStream(const QByteArray &bytes, const PrintStreamOptions &options,
                                    const QString &pdfPath);

// Reads the stream as RenderPrintStream would, drawing nothing.
PrintStreamReport InspectPrintStream(const QByteArray &bytes, const PrintStreamOptions &options);

} // namespace ostrevo
