#include "app/CommandLine.h"

#include "handling/Settings.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace ostrevo {

using namespace Qt::StringLiterals;

namespace {

CommandLine Failed(CommandLine cl, const QString &error)
{
    cl.error = error;
    return cl;
}

} // namespace

CommandLine CommandLine::parse(const QStringList &arguments)
{
    // Qt's parser reads the options; the rules of which go together are ours, and so is the
    // usage text (Qt's generated help would not say what each mode does).
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption headless(QStringLiteral("headless"));
    const QCommandLineOption once(QStringLiteral("once"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption status(QStringLiteral("status"));
    const QCommandLineOption pause(QStringLiteral("pause"));
    const QCommandLineOption resume(QStringLiteral("resume"));
    const QCommandLineOption preview(QStringLiteral("preview"), QString(), QStringLiteral("JOB"));
    const QCommandLineOption check(QStringLiteral("check"), QString(), QStringLiteral("JOB"));
    const QCommandLineOption lpt(QStringLiteral("lpt"), QString(), QStringLiteral("PORT"));
    const QCommandLineOption home(QStringLiteral("home"), QString(), QStringLiteral("DIR"));
    parser.addOptions({headless, once, help, version, status, pause, resume, preview, check, lpt, home});

    CommandLine cl;
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            cl.error = QStringLiteral("unknown argument: %1%2").arg(unknown.first().size() == 1 ? u"-"_s : u"--"_s, unknown.first());
        else if (parser.errorText().contains(QLatin1String("home")))
            cl.error = QStringLiteral("--home needs a directory");
        else if (parser.errorText().contains(QLatin1String("lpt")))
            cl.error = QStringLiteral("--lpt needs a port (LPT1, LPT2, ... or COM1, ...)");
        else if (parser.errorText().contains(QLatin1String("preview")) || parser.errorText().contains(QLatin1String("check")))
            cl.error = QStringLiteral("%1 needs a job file").arg(parser.errorText().contains(QLatin1String("preview")) ? u"--preview"_s : u"--check"_s);
        else
            cl.error = parser.errorText();
        return cl;
    }
    cl.headless = parser.isSet(headless);
    cl.once = parser.isSet(once);
    cl.help = parser.isSet(help);
    cl.version = parser.isSet(version);

    int controls = 0;
    for (const auto *option : {&status, &pause, &resume})
        if (parser.isSet(*option)) {
            ++controls;
            cl.control = option->names().first().toLatin1();
        }
    if (controls > 1)
        return Failed(cl, QStringLiteral("one of --status, --pause, --resume at a time"));

    const QStringList previews = parser.values(preview) + parser.values(check);
    if (previews.size() > 1)
        return Failed(cl, QStringLiteral("one --preview or --check at a time"));
    const QStringList positional = parser.positionalArguments();
    if (previews.size() == 1) {
        cl.check = parser.isSet(check);
        cl.previewJob = previews.first();
        if (cl.previewJob.isEmpty() || cl.previewJob.startsWith(u"--"))
            return Failed(cl, QStringLiteral("%1 needs a job file").arg(cl.check ? u"--check"_s : u"--preview"_s));
        // The preview file may follow the job, but not a check, which writes none.
        if (!cl.check && positional.size() == 1)
            cl.previewOut = positional.first();
        else if (!positional.isEmpty())
            return Failed(cl, QStringLiteral("unknown argument: %1").arg(positional.last()));
    } else if (!positional.isEmpty()) {
        return Failed(cl, QStringLiteral("unknown argument: %1").arg(positional.first()));
    }

    if (parser.isSet(lpt)) {
        cl.lptPort = parser.values(lpt).last();
        static const QRegularExpression port(QStringLiteral("^(LPT|COM)[1-9][0-9]?$"),
                                             QRegularExpression::CaseInsensitiveOption);
        if (cl.lptPort.startsWith(u"--"))
            return Failed(cl, QStringLiteral("--lpt needs a port (LPT1, LPT2, ... or COM1, ...)"));
        if (!port.match(cl.lptPort).hasMatch())
            return Failed(cl, QStringLiteral("--lpt %1: a port is LPT1, LPT2, ... or COM1, ...").arg(cl.lptPort));
    }
    if (parser.isSet(home)) {
        cl.home = parser.values(home).last();
        if (cl.home.isEmpty())
            return Failed(cl, QStringLiteral("--home needs a directory"));
    }

    if (!cl.previewJob.isEmpty() && (cl.once || cl.headless))
        return Failed(cl, QStringLiteral("--preview and --check run alone, without --once or --headless"));
    if (!cl.lptPort.isEmpty() && (cl.once || cl.headless || !cl.previewJob.isEmpty() || !cl.control.isEmpty()))
        return Failed(cl, QStringLiteral("--lpt reads one print job from standard input; it goes with --home only"));
    if (!cl.control.isEmpty() && (cl.once || cl.headless || !cl.previewJob.isEmpty()))
        return Failed(cl, QStringLiteral("--%1 asks a running monitor; it goes with --home only")
                              .arg(QString::fromLatin1(cl.control)));
    return cl;
}

void PrintText(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

QString CommandLine::versionText()
{
    return QStringLiteral("Ostrevo %1\n").arg(ProgramVersion);
}

QString CommandLine::usage(const QString &programName)
{
    return QStringLiteral(
               "Usage: %1 [--home DIR] [--headless | --once]\n"
               "       %1 [--home DIR] --preview JOB.txt [OUT.pdf] | --check JOB.txt\n"
               "       %1 [--home DIR] --status | --pause | --resume\n"
               "       %1 [--home DIR] --lpt PORT < PRINT-JOB\n"
               "\n"
               "Watches the job directories of a DOS application and performs its jobs.\n"
               "Today: plain-text printouts (CUPS or the built-in printer \"Ostrevo PDF\"),\n"
               "<PDF> printouts written as PDF files (and mailed), <OPEN> and <PRINT> of an\n"
               "existing PDF file, <DF> fiscal printer jobs through the driver libraries in\n"
               "the program directory, <FTP> uploads, <DOWNLOAD> by HTTP(S) or FTP, <MAIL>\n"
               "by sendmail or SMTP, <WALUTA> exchange-rate tables as dBASE files, <PIT>\n"
               "forms filled from templates in Wzorzec/, printed or written as PDF files\n"
               "(and mailed), <KSEF> invoices sent to KSeF, and empty jobs. Print jobs that\n"
               "DOS programs send to a printer\n"
               "port ([LPT1]... in Ostrevo.ini: DOSEMU2 through --lpt, DOSBox-X through its\n"
               "capture directory) become PDF files, printed, mailed or opened.\n"
               "\n"
               "  (no option)   desktop program: tray icon and main window; a second start\n"
               "                brings the running one's window to the front\n"
               "  --headless    the same monitor without any window; it monitors whenever the\n"
               "                settings pass their check; status on stderr; SIGINT/SIGTERM\n"
               "                end it cleanly\n"
               "  --once        perform the jobs waiting now, then exit; exit code 0, or 1..4\n"
               "                when the settings fail their check (the reason on stderr)\n"
               "                Any start that finds a monitor running on the program\n"
               "                directory does nothing and exits with 5 (a desktop start\n"
               "                brings that monitor's window to the front instead: 0)\n"
               "  --status      what the running monitor does: state, status text, the job\n"
               "                it performs, jobs queued, the last job; exit code 3 when no\n"
               "                monitor runs on the program directory\n"
               "  --pause       pauses the running monitor once its job has ended\n"
               "  --resume      resumes it (exit code 1 when its settings fail the check)\n"
               "  --preview JOB lays one job out as the monitor would perform it, with the\n"
               "                settings of the program directory, into OUT.pdf (default:\n"
               "                ~/.cache/ostrevo/podglad/JOB-podglad.pdf), and prints a report: kind,\n"
               "                pages, printer, warnings. Prints, mails, uploads and deletes\n"
               "                nothing, and runs beside a monitor. Plain-text printouts,\n"
               "                <PDF> jobs and <PIT> forms. Exit code 0, 3 the\n"
               "                file cannot be read, 4 not a job (binary, nothing in it), 5 a\n"
               "                kind it does not lay out, 6 the layout failed (a template\n"
               "                missing) or the preview file cannot be written\n"
               "  --check JOB   the same report, without the preview file. For a file in a\n"
               "                printer port's directory both tell its print language, code\n"
               "                page, pages and the ESC/P commands it does not know, and\n"
               "                --preview writes the PDF the port would make\n"
               "  --lpt PORT    one print job of a DOS program from standard input (DOSEMU2:\n"
               "                $_lpt1 = \"ostrevo --lpt LPT1\"), written whole into the\n"
               "                directory of [PORT] in Ostrevo.ini; the running monitor prints\n"
               "                it, or this command does when none runs. Exit code 0 when\n"
               "                printed or handed to the monitor, 1 otherwise (the reason on\n"
               "                stderr; a print job that was written stays for the monitor)\n"
               "  --home DIR    program directory (Ostrevo.ini, DefSym.ovx, ostrevo.log); it\n"
               "                must exist (exit code 1 when it does not)\n"
               "  --help        this text\n"
               "  --version     the version\n")
        .arg(programName);
}

} // namespace ostrevo
