#include "app/CommandLine.h"

#include <QRegularExpression>

namespace ostrevo {

CommandLine CommandLine::parse(const QStringList &arguments)
{
    CommandLine cl;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == u"--headless")
            cl.headless = true;
        else if (arg == u"--once")
            cl.once = true;
        else if (arg == u"--help" || arg == u"-h")
            cl.help = true;
        else if (arg == u"--version")
            cl.version = true;
        else if (arg == u"--status" || arg == u"--pause" || arg == u"--resume") {
            if (!cl.control.isEmpty()) {
                cl.error = QStringLiteral("one of --status, --pause, --resume at a time");
                break;
            }
            cl.control = arg.mid(2).toLatin1();
        }
        else if (arg == u"--preview" || arg == u"--check") {
            if (!cl.previewJob.isEmpty()) {
                cl.error = QStringLiteral("one --preview or --check at a time");
                break;
            }
            if (i + 1 >= arguments.size() || arguments.at(i + 1).startsWith(u"--")) {
                cl.error = QStringLiteral("%1 needs a job file").arg(arg);
                break;
            }
            cl.check = arg == u"--check";
            cl.previewJob = arguments.at(++i);
            // The preview file may follow the job, but not a check, which writes none.
            if (!cl.check && i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(u"--"))
                cl.previewOut = arguments.at(++i);
        } else if (arg == u"--lpt") {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).startsWith(u"--")) {
                cl.error = QStringLiteral("--lpt needs a port (LPT1, LPT2, ... or COM1, ...)");
                break;
            }
            cl.lptPort = arguments.at(++i);
            static const QRegularExpression port(QStringLiteral("^(LPT|COM)[1-9][0-9]?$"),
                                                 QRegularExpression::CaseInsensitiveOption);
            if (!port.match(cl.lptPort).hasMatch()) {
                cl.error = QStringLiteral("--lpt %1: a port is LPT1, LPT2, ... or COM1, ...").arg(cl.lptPort);
                break;
            }
        } else if (arg == u"--home") {
            if (i + 1 >= arguments.size()) {
                cl.error = QStringLiteral("--home needs a directory");
                break;
            }
            cl.home = arguments.at(++i);
        } else if (arg.startsWith(u"--home=")) {
            cl.home = arg.mid(7);
        } else {
            cl.error = QStringLiteral("unknown argument: %1").arg(arg);
            break;
        }
    }
    if (cl.error.isEmpty() && cl.home.isEmpty() && arguments.contains(QStringLiteral("--home=")))
        cl.error = QStringLiteral("--home needs a directory");
    if (cl.error.isEmpty() && !cl.previewJob.isEmpty() && (cl.once || cl.headless))
        cl.error = QStringLiteral("--preview and --check run alone, without --once or --headless");
    if (cl.error.isEmpty() && !cl.lptPort.isEmpty() && (cl.once || cl.headless || !cl.previewJob.isEmpty() || !cl.control.isEmpty()))
        cl.error = QStringLiteral("--lpt reads one print job from standard input; it goes with --home only");
    if (cl.error.isEmpty() && !cl.control.isEmpty() && (cl.once || cl.headless || !cl.previewJob.isEmpty()))
        cl.error = QStringLiteral("--%1 asks a running monitor; it goes with --home only")
                       .arg(QString::fromLatin1(cl.control));
    return cl;
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
