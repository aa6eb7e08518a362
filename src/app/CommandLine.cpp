#include "app/CommandLine.h"

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
        else if (arg == u"--home") {
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
    return cl;
}

QString CommandLine::usage(const QString &programName)
{
    return QStringLiteral(
               "Usage: %1 [--home DIR] [--headless | --once]\n"
               "\n"
               "Watches the job directories of a DOS application and performs its jobs.\n"
               "Today: plain-text printouts (CUPS or the built-in printer \"Ostrevo PDF\"),\n"
               "<PDF> printouts written as PDF files (and mailed), <OPEN> and <PRINT> of an\n"
               "existing PDF file, <DF> fiscal printer jobs through the driver libraries in\n"
               "the program directory, <FTP> uploads, <DOWNLOAD> by HTTP(S) or FTP, <MAIL>\n"
               "by sendmail or SMTP, <WALUTA> exchange-rate tables as dBASE files, and empty\n"
               "jobs. <PIT> is journaled as NOT SUPPORTED until it lands.\n"
               "\n"
               "  (no option)   desktop program: tray icon and main window; a second start\n"
               "                brings the running one's window to the front\n"
               "  --headless    the same monitor without any window; status on stderr;\n"
               "                SIGINT/SIGTERM end it cleanly\n"
               "  --once        perform the jobs waiting now, then exit; exit code 0, or 1..4\n"
               "                when the settings fail their check\n"
               "  --home DIR    program directory (Ostrevo.ini, DefSym.ovx, ostrevo.log)\n"
               "  --help        this text\n"
               "  --version     the version\n")
        .arg(programName);
}

} // namespace ostrevo
