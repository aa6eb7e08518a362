// Figures for the plain-text printout renderer: a 200-page CP852 report with frames on
// every line printed on the built-in PDF printer, against the same text in UTF-8 through
// CUPS's texttopdf filter and through paps (both at 7 lines per inch so that each page of
// the report is one page for them too; they print the box characters as glyphs, while
// Ostrevo draws them as lines). Prints pages per second, ratios and file sizes. Then the
// same report as whole processes, as a user runs them: `ostrevo --once` on a printout job
// and on a <PDF> job, start-up included, against the texttopdf process.
//
//   bench_textprint [--runs N]            the comparison
//   bench_textprint --render DIR FILE...  prints job files into DIR, to look at
//   bench_textprint --report FILE         writes the benchmark's report job

#include "devices/RecordingCanvas.h"
#include "devices/TPrinter.h"
#include "jobs/Charsets.h"
#include "textprint/FrameChars.h"
#include "textprint/PrintSurface.h"
#include "textprint/SymbolTable.h"
#include "textprint/TextLineRenderer.h"
#include "textprint/TextPrinter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cups/cups.h>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace ostrevo;

namespace {

constexpr int Pages = 200;
constexpr int LinesPerPage = 66; // 66 lines and a page feed: one page (the first line of a page is its second)

QByteArray Row(int n)
{
    static const char *names[] = {"Hurtownia \x8f\x9d\x9d\x9d", "Sp\xa2\x88" "dzielnia \x9dk\xa5" "cka",
                                  "Zak\x88" "ad \x97l\xa5ski", "Piekarnia Bu\x88" "eczka", "Ko\x86" "ci\xa2\x88 \x8dr\xa2" "d\x88" "a"};
    const QByteArray name = QByteArray(names[n % 5]).leftJustified(28, ' ');
    const QByteArray amount = QByteArray::number(n * 12.37 + 0.5, 'f', 2).rightJustified(12, ' ');
    return "\xBA " + QByteArray::number(n).rightJustified(5, ' ') + " \xB3 " + name + " \xB3 " +
           QByteArray::number(n % 97).rightJustified(4, ' ') + " \xB3 " + amount + " \xB3 " +
           QByteArray("zap\x88" "acono").leftJustified(10, ' ') + " \xBA";
}

QByteArray Report()
{
    QByteArray out;
    int n = 0;
    const QByteArray width = Row(0);
    auto rule = [&](char left, char mid, char right, char fill) {
        QByteArray line = width;
        for (qsizetype i = 0; i < line.size(); ++i)
            line[i] = (line[i] == '\xB3') ? mid : fill;
        line[0] = left;
        line[line.size() - 1] = right;
        return line;
    };
    for (int page = 0; page < Pages; ++page) {
        out += rule('\xC9', '\xD1', '\xBB', '\xCD') + "\r\n";
        QByteArray head = "\xBA    Lp \xB3 Kontrahent                   \xB3 Dni  \xB3        Kwota \xB3 Stan       \xBA";
        out += head + "\r\n";
        out += rule('\xC7', '\xC5', '\xB6', '\xC4') + "\r\n";
        for (int i = 0; i < LinesPerPage - 4; ++i)
            out += Row(++n) + "\r\n";
        out += rule('\xC8', '\xCF', '\xBC', '\xCD') + (page + 1 < Pages ? "<Nstr>\r\n" : "\r\n");
    }
    return out;
}

// The report for tools that read UTF-8: box drawing as code page 437 has it.
QByteArray ReportUtf8(const QByteArray &cp852)
{
    static const QString boxes = QStringLiteral("░▒▓│┤╡╢╖╕╣║╗╝╜╛┐└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀");
    QByteArray text = cp852;
    text.replace("<Nstr>", "\f");
    text.replace("\r\n", "\n");
    QString out;
    out.reserve(text.size());
    for (char c : text) {
        const auto code = static_cast<unsigned char>(c);
        const auto at = std::find(FrameCharTable.begin(), FrameCharTable.end(), code);
        out += at != FrameCharTable.end() ? boxes[at - FrameCharTable.begin()] : Cp852ToUnicode(QByteArray(1, c))[0];
    }
    return out.toUtf8();
}

double BestOf(int runs, const std::function<void()> &work)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

int PdfPages(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {path});
    p.waitForFinished();
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        if (line.startsWith("Pages:"))
            return line.mid(6).trimmed().toInt();
    }
    return -1;
}

bool RunTool(const QString &program, const QStringList &args, const QString &out, const QProcessEnvironment &env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(out);
    p.start(program, args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

class NullSurface : public PrintSurface {
public:
    Canvas &canvas() override { return recorder; }
    void newPage() override { recorder.newPage(); }
    bool aborted() const override { return false; }
    RecordingCanvas recorder;
};

void Line(const char *what, int pages, double seconds, qint64 bytes, double reference)
{
    std::printf("%-34s %5d pages %8.3f s %8.0f pages/s %10lld bytes", what, pages, seconds, pages / seconds,
                static_cast<long long>(bytes));
    if (reference > 0)
        std::printf("   %5.2fx the time of Ostrevo", seconds / reference);
    std::printf("\n");
}

int Render(const QString &dir, const QStringList &files)
{
    Printer().setBuiltinDirectory(dir);
    SymbolTable symbols;
    TextPrinter printer(symbols);
    JobContext context;
    context.currentPrinterName = BuiltinPrinterName();
    for (const QString &file : files) {
        const JobResult result = printer.PrintTextJob(context, file);
        std::printf("%s: %s %s\n", qPrintable(file), result.outcome == JobResult::Done ? "printed" : "failed",
                    qPrintable(result.detail));
    }
    return 0;
}

// One `ostrevo --once` on a fresh copy of the job; the seconds of the whole process.
double OnceRun(const QString &home, const QByteArray &job)
{
    const QString jobs = home + QStringLiteral("/jobs");
    QDir(jobs).removeRecursively();
    QDir(home + QStringLiteral("/out")).removeRecursively();
    QDir().mkpath(jobs);
    QFile text(jobs + QStringLiteral("/RAPORT.txt"));
    text.open(QIODevice::WriteOnly);
    text.write(job);
    text.close();
    QFile(jobs + QStringLiteral("/RAPORT.END")).open(QIODevice::WriteOnly);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
    p.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../src/ostrevo"),
            {QStringLiteral("--home"), home, QStringLiteral("--once")});
    p.waitForFinished(120000);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (p.exitCode() != 0)
        std::printf("ostrevo --once failed: %s\n", p.readAllStandardError().constData());
    return seconds;
}

void WholeProcesses(int runs, const QByteArray &report, double texttopdf, int texttopdfPages)
{
    QTemporaryDir home;
    QDir().mkpath(home.path() + QStringLiteral("/run"));
    QFile ini(home.path() + QStringLiteral("/Ostrevo.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write("[Opcje]\r\nKatalog=jobs\r\nDrukarka=Ostrevo PDF\r\nTimer=1\r\nMonitorowanie=1\r\n"
              "[DrukarkaPDF]\r\nKatalog=out\r\n");
    ini.close();
    const QByteArray pdfHeader = "<PDF>\r\nPDF_FILE=raport.pdf\r\n<END>\r\n";
    const QString printed = home.path() + QStringLiteral("/out/RAPORT.pdf");
    const QString written = home.path() + QStringLiteral("/jobs/PDF/raport.pdf");

    std::printf("\nWhole processes (start-up included), best of %d runs:\n", runs);
    const double startPrint = BestOf(runs, [&] { OnceRun(home.path(), "Jeden wiersz\r\n"); });
    Line("ostrevo --once, one-line printout", PdfPages(printed), startPrint, QFileInfo(printed).size(), 0);
    const double startPdf = BestOf(runs, [&] { OnceRun(home.path(), pdfHeader + "Jeden wiersz\r\n"); });
    Line("ostrevo --once, one-line <PDF> job", PdfPages(written), startPdf, QFileInfo(written).size(), 0);
    const double print = BestOf(runs, [&] { OnceRun(home.path(), report); });
    const int printPages = PdfPages(printed);
    const qint64 printBytes = QFileInfo(printed).size();
    const double pdf = BestOf(runs, [&] { OnceRun(home.path(), pdfHeader + report); });
    Line("ostrevo --once, printout", printPages, print, printBytes, 0);
    Line("ostrevo --once, <PDF> job", PdfPages(written), pdf, QFileInfo(written).size(), 0);
    Line("texttopdf process", texttopdfPages, texttopdf, 0, 0);
    std::printf("ratio to texttopdf: printout %.2f, <PDF> job %.2f (below 1 is faster)\n", print / texttopdf,
                pdf / texttopdf);
}

int Compare(int runs)
{
    QTemporaryDir tmp;
    const QByteArray report = Report();
    const QString jobPath = tmp.path() + QStringLiteral("/RAPORT.txt");
    const QString utf8Path = tmp.path() + QStringLiteral("/raport-utf8.txt");
    {
        QFile f(jobPath);
        f.open(QIODevice::WriteOnly);
        f.write(report);
        QFile u(utf8Path);
        u.open(QIODevice::WriteOnly);
        u.write(ReportUtf8(report));
    }
    std::printf("%d-page CP852 report, %lld bytes, frames on every line; best of %d runs; %d cores\n\n", Pages,
                static_cast<long long>(report.size()), runs, QThread::idealThreadCount());

    // The renderer alone, on a canvas that only records.
    SymbolTable symbols;
    const QList<QByteArray> lines = report.split('\n');
    int recordedPages = 0;
    const double renderOnly = BestOf(runs, [&] {
        TextPrintState state;
        ScriptMemory memory;
        NullSurface surface;
        TextLineRenderer renderer(surface, symbols.PrinterSymbols, state, memory);
        renderer.startJob({4800, 6800, 600, 600});
        renderer.realiseFont();
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            renderer.renderLine(lines[i].chopped(1), i + 2 < lines.size());
            renderer.nextLine();
        }
        recordedPages = surface.recorder.page();
    });

    const QString outDir = tmp.path() + QStringLiteral("/wydruki");
    Printer().setBuiltinDirectory(outDir);
    TextPrinter printer(symbols);
    JobContext context;
    context.currentPrinterName = BuiltinPrinterName();
    const QString pdf = outDir + QStringLiteral("/RAPORT.pdf");
    const double ostrevo = BestOf(runs, [&] {
        QFile::remove(pdf);
        printer.PrintTextJob(context, jobPath);
    });
    const int ostrevoPages = PdfPages(pdf);
    Line("Ostrevo renderer alone (recording)", recordedPages, renderOnly, 0, 0);
    Line("Ostrevo on the built-in PDF printer", ostrevoPages, ostrevo, QFileInfo(pdf).size(), 0);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CONTENT_TYPE"), QStringLiteral("text/plain"));
    env.insert(QStringLiteral("CHARSET"), QStringLiteral("utf-8"));
    const QString ttpOut = tmp.path() + QStringLiteral("/texttopdf.pdf");
    bool ok = true;
    const double ttp = BestOf(runs, [&] {
        ok = RunTool(QStringLiteral("/usr/lib/cups/filter/texttopdf"),
                     {QStringLiteral("1"), QStringLiteral("bench"), QStringLiteral("raport"), QStringLiteral("1"),
                      QStringLiteral("lpi=7"), utf8Path},
                     ttpOut, env) && ok;
    });
    if (ok)
        Line("CUPS texttopdf (UTF-8, no frames)", PdfPages(ttpOut), ttp, QFileInfo(ttpOut).size(), ostrevo);
    else
        std::printf("CUPS texttopdf failed to run\n");

    if (ok)
        WholeProcesses(runs, report, ttp, PdfPages(ttpOut));

    const QString papsOut = tmp.path() + QStringLiteral("/paps.ps");
    ok = true;
    const double paps = BestOf(runs, [&] {
        ok = RunTool(QStringLiteral("paps"),
                     {QStringLiteral("--paper=a4"), QStringLiteral("--font=Monospace 9"), QStringLiteral("--lpi=7"), utf8Path},
                     papsOut, QProcessEnvironment::systemEnvironment()) && ok;
    });
    if (ok) {
        QFile ps(papsOut);
        ps.open(QIODevice::ReadOnly);
        const int pages = ps.readAll().count("%%Page:");
        Line("paps (UTF-8, PostScript out)", pages, paps, QFileInfo(papsOut).size(), ostrevo);
    } else {
        std::printf("paps failed to run\n");
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Only the built-in printer: never reach a print server.
    const QByteArray nowhere = QFile::encodeName(QDir::tempPath() + QStringLiteral("/ostrevo-bench-no-cups.sock"));
    qputenv("CUPS_SERVER", nowhere);
    cupsSetServer(nowhere.constData());
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == QStringLiteral("--render"))
        return Render(args[2], args.mid(3));
    if (args.size() >= 3 && args[1] == QStringLiteral("--report")) {
        QFile out(args[2]);
        return out.open(QIODevice::WriteOnly) && out.write(Report()) > 0 ? 0 : 1;
    }
    int runs = 3;
    if (args.size() >= 3 && args[1] == QStringLiteral("--runs"))
        runs = std::max(1, args[2].toInt());
    return Compare(runs);
}
