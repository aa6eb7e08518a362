// Figures for form jobs: a 4-page form with 300 filled boxes (75 a page, each a frame of
// the template with the job's value in it, in three text attributes) and 2 EAN-13
// barcodes, printed on the built-in PDF printer and written as a PDF file by the job with
// PDF_FILE. Prints milliseconds per job and the size of the file, for each.
//
//   bench_forms [--runs N] [--keep DIR]   DIR: where the last runs' PDFs are left, to look at

#include "devices/TAsBarcode.h"
#include "devices/TPrinter.h"
#include "forms/PdfFormJob.h"
#include "forms/PrintFormJob.h"
#include "handling/JobHandlers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace ostrevo;

namespace {

constexpr int Pages = 4;
constexpr int BoxesPerPage = 75;

void Write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

QByteArray Lines(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const QByteArray &line : lines)
        out += line + "\r\n";
    return out;
}

// Box number of row r, column c on page p: 3 columns of 25 rows.
int BoxNumber(int page, int i)
{
    return (page - 1) * BoxesPerPage + i + 1;
}

QByteArray Template()
{
    QList<QByteArray> lines{"<PARAMETERS>", "NAME=Formularz testowy", "PAGE=" + QByteArray::number(Pages), "<END>",
                            "<DEFAULT>", "T_SIZE=250", "L_THICKNESS=20", "<END>"};
    for (int page = 1; page <= Pages; ++page) {
        lines += "<PAGE" + QByteArray::number(page) + ">";
        lines += "MMJEDN=10";
        lines += {"T_SIZE=500", "T_BOLD=1", "BX(0,100,50,2000,150)", "T1(0,1)",
                  "FORMULARZ TESTOWY - STRONA " + QByteArray::number(page), "T_BOLD=0", "T_SIZE=200"};
        for (int i = 0; i < BoxesPerPage; ++i) {
            const int col = i / 25, row = i % 25;
            const int x = 100 + col * 650, y = 250 + row * 90;
            const QByteArray n = QByteArray::number(BoxNumber(page, i));
            lines += "B(" + n + "," + QByteArray::number(x) + "," + QByteArray::number(y) + "," +
                     QByteArray::number(x + 600) + "," + QByteArray::number(y + 80) + ",0)";
            // The box's caption above its value.
            lines += "BX(" + QByteArray::number(1000 + BoxNumber(page, i)) + "," + QByteArray::number(x + 10) + "," +
                     QByteArray::number(y + 5) + "," + QByteArray::number(x + 590) + "," + QByteArray::number(y + 35) + ")";
            lines += "T1(" + QByteArray::number(1000 + BoxNumber(page, i)) + ",1)";
            lines += "Pole " + n;
        }
        lines += "BX(2000,1400,2550,2000,2800)";
        lines += "<END>";
    }
    return Lines(lines);
}

// The job; into a PDF file when `pdfFile` names one.
QByteArray Job(const QByteArray &pdfFile = {})
{
    QList<QByteArray> lines{"<PIT>", "TEMPLATE=BENCH"};
    if (!pdfFile.isEmpty())
        lines += "PDF_FILE=" + pdfFile;
    lines += {"<END>", "<DEFAULT>", "T_SIZE=300", "<END>"};
    for (int page = 1; page <= Pages; ++page) {
        lines += "<PAGE" + QByteArray::number(page) + ">";
        for (int i = 0; i < BoxesPerPage; ++i) {
            const QByteArray n = QByteArray::number(BoxNumber(page, i));
            // Three attribute sets in turn: plain, bold, italic and right-aligned.
            if (i % 3 == 1)
                lines += "T_BOLD=1";
            if (i % 3 == 2)
                lines += {"T_BOLD=0", "T_ITALIC=1", "T_JUST=6"};
            lines += "T1(" + n + ",1,1,3,1,0)";
            lines += "Warto\x98\x86 " + QByteArray::number(BoxNumber(page, i) * 137.5, 'f', 2);
            if (i % 3 == 2)
                lines += {"T_ITALIC=0", "T_JUST=1"};
        }
        if (page == 1 || page == 3)
            lines += {"K(2000)", page == 1 ? "5901234123457" : "4006381333931"};
        lines += "<END>";
    }
    return Lines(lines);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    int runs = 20;
    QString keep;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--runs")
            runs = std::max(1, QByteArray(argv[i + 1]).toInt());
        if (QByteArray(argv[i]) == "--keep")
            keep = QString::fromLocal8Bit(argv[i + 1]);
    }

    QTemporaryDir home(QDir::currentPath() + QStringLiteral("/bench-forms-XXXXXX"));
    QDir(home.path()).mkpath(QStringLiteral("Wzorzec"));
    Write(home.filePath(QStringLiteral("Wzorzec/BENCH.txt")), Template());
    const QString jobPath = home.filePath(QStringLiteral("FORM.txt"));
    Write(jobPath, Job());

    const QString out = home.filePath(QStringLiteral("wydruki"));
    Printer().setBuiltinDirectory(out);
    Settings settings;
    JobContext context;
    context.programDir = home.path();
    context.currentJobDir = home.path();
    context.currentPrinterName = BuiltinPrinterName();
    context.settings = &settings;
    TAsBarcode barcode;
    FormPrinter printer(Printer(), barcode);

    struct Figures {
        std::vector<double> times;
        qint64 size = 0;
    };
    // The first run of each loads the fonts and is not counted.
    const auto measure = [runs](const auto &runOnce, const QString &file) {
        Figures figures;
        for (int run = 0; run <= runs; ++run) {
            QFile::remove(file);
            QElapsedTimer clock;
            clock.start();
            const JobResult result = runOnce();
            const double ms = clock.nsecsElapsed() / 1e6;
            if (result.outcome != JobResult::Done) {
                std::fprintf(stderr, "the form job failed: %s\n", qPrintable(result.detail));
                std::exit(1);
            }
            figures.size = QFileInfo(file).size();
            if (run > 0)
                figures.times.push_back(ms);
        }
        std::sort(figures.times.begin(), figures.times.end());
        return figures;
    };
    const auto report = [runs](const char *where, const Figures &f) {
        std::printf("form of %d pages, %d filled boxes, 2 barcodes, %s: median %.1f ms per job "
                    "(best %.1f, worst %.1f, %d runs), PDF file %lld bytes\n",
                    Pages, Pages * BoxesPerPage, where, f.times[f.times.size() / 2], f.times.front(), f.times.back(),
                    runs, static_cast<long long>(f.size));
    };

    const QString printed = out + QStringLiteral("/FORM.pdf");
    const Figures onPrinter = measure([&] { return printer.PrintFormJob(context, jobPath); }, printed);

    const QString pdfJobPath = home.filePath(QStringLiteral("FORMPDF.txt"));
    Write(pdfJobPath, Job("FORM.pdf"));
    PdfFormJobs pdfJobs(barcode);
    const QString written = home.filePath(QStringLiteral("PDF/FORM.pdf"));
    const Figures intoFile = measure([&] { return pdfJobs.PdfFormJob(context, pdfJobPath); }, written);

    if (!keep.isEmpty()) {
        QDir().mkpath(keep);
        for (const auto &[from, name] : {std::pair(printed, QStringLiteral("FORM.pdf")),
                                         std::pair(written, QStringLiteral("FORM-PDF_FILE.pdf"))}) {
            QFile::remove(keep + u'/' + name);
            QFile::copy(from, keep + u'/' + name);
        }
    }
    report("built-in printer", onPrinter);
    report("PDF_FILE", intoFile);
    return 0;
}
