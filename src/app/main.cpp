#include "app/CommandLine.h"
#include "app/EngineHost.h"
#include "app/Headless.h"
#include "app/CaptureCheck.h"
#include "app/InstanceChannel.h"
#include "app/LptCommand.h"
#include "app/MonitorControl.h"
#include "app/ProgramDir.h"
#include "app/QtTranslations.h"
#include "app/SingleInstance.h"
#include "app/Subsystems.h"
#include "devices/TPrinter.h"
#include "jobs/CalledAs.h"
#include "jobs/DosPath.h"
#include "monitor/Autostart.h"
#include "net/rates/IsolatedConversion.h"
#include "preview/JobPreview.h"
#include "handling/Settings.h"

#include <QFileInfo>
#include <QGuiApplication>

#ifdef OSTREVO_WITH_GUI
#include "gui/AlreadyRunningBox.h"
#include "gui/TForm1.h"
#include "gui/TFormCONFIG.h"
#include <QApplication>
#endif

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace ostrevo;

namespace {

constexpr int OnceMailWaitMs = 180000;
// A start that did nothing because a monitor already runs on the program directory.
constexpr int AlreadyRunningExitCode = 5;

#ifdef OSTREVO_WITH_GUI
// A display that is named but cannot be opened (a stale DISPLAY after a remote session)
// makes Qt end the program with an abort; it ends with this instead.
void ExplainUnopenedDisplay(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtFatalMsg) {
        PrintText(stderr, message + u'\n');
        return;
    }
    const QString display = QString::fromLocal8Bit(qgetenv(qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ? "WAYLAND_DISPLAY" : "DISPLAY"));
    PrintText(stderr, QStringLiteral("ostrevo: the display %1 cannot be opened, so the window cannot be shown; "
                                 "without a window the monitor runs as ostrevo --headless\n").arg(display));
    std::_Exit(1);
}
#endif

bool HasDisplay()
{
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
        || qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

// A preview needs fonts and printers but no screen, no instance lock and no engine: it
// runs beside a monitor and touches nothing of it.
int RunPreview(int argc, char *argv[], const CommandLine &cl)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Ostrevo"));
    PreviewRequest request;
    request.jobPath = cl.previewJob;
    request.outPath = cl.previewOut;
    request.writePdf = !cl.check;
    request.programDir = ResolveProgramDir(cl.home, CalledExecutableDir());
    // A file of a printer port's directory is a print job, not a job file.
    if (const std::optional<CaptureCheck> capture =
            CheckCapture(request.programDir, cl.previewJob, request.writePdf, request.outPath)) {
        PrintText(stdout, capture->report.join(u'\n') + u'\n');
        return capture->exitCode;
    }
    const PreviewOutcome outcome = PreviewJob(request);
    PrintText(stdout, DosPathMapper::readable(outcome.report.join(u'\n')) + u'\n');
    return outcome.exitCode;
}

} // namespace

int main(int argc, char *argv[])
{
    // A workbook conversion this program started in a process of its own.
    if (const int converted = RunWorkbookConversion(argc, argv); converted >= 0)
        return converted;
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const QString programName = QFileInfo(arguments.value(0, QStringLiteral("ostrevo"))).fileName();
    const CommandLine cl = CommandLine::parse(arguments);
    if (!cl.error.isEmpty()) {
        PrintText(stderr, programName + QStringLiteral(": ") + cl.error + u'\n' + CommandLine::usage(programName));
        return 2;
    }
    if (cl.help) {
        PrintText(stdout, CommandLine::usage(programName));
        return 0;
    }
    if (cl.version) {
        PrintText(stdout, CommandLine::versionText());
        return 0;
    }

    if (!cl.previewJob.isEmpty())
        return RunPreview(argc, argv, cl);
    if (!cl.lptPort.isEmpty()) {
        // A desktop session the emulator runs in, where a PDF may be opened.
        const bool desktop = qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        QGuiApplication::setApplicationName(QStringLiteral("Ostrevo"));
        LptCommand command;
        command.programDir = ResolveProgramDir(cl.home, CalledExecutableDir());
        command.executableName = QFileInfo(CalledExecutablePath()).fileName();
        command.port = cl.lptPort;
        command.desktop = desktop;
        return RunLptCommand(command);
    }
    if (!cl.control.isEmpty()) {
        QCoreApplication app(argc, argv);
        const QString programDir = ResolveProgramDir(cl.home, CalledExecutableDir());
        const SingleInstance instance(QFileInfo(CalledExecutablePath()).fileName(), programDir);
        return AskRunningMonitor(instance.socketPath(), programDir, cl.control);
    }

    bool windows = !cl.headless && !cl.once;
#ifndef OSTREVO_WITH_GUI
    windows = false;
#endif
    if (windows && !HasDisplay()) {
        PrintText(stderr, programName + QStringLiteral(": no display to show the window on; use --headless\n"));
        return 1;
    }
    // The headless monitor needs fonts and printers but no screen, whatever platform the
    // environment names (a display platform would abort without a display).
    if (!windows)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    std::unique_ptr<QGuiApplication> app;
#ifdef OSTREVO_WITH_GUI
    if (windows) {
        const QtMessageHandler previous = qInstallMessageHandler(ExplainUnopenedDisplay);
        app = std::make_unique<QApplication>(argc, argv);
        qInstallMessageHandler(previous);
    }
#endif
    if (!app)
        app = std::make_unique<QGuiApplication>(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Ostrevo"));
    QGuiApplication::setApplicationVersion(ProgramVersion);
    LoadQtTranslations(app.get());

    const QString executablePath = CalledExecutablePath();
    const QString programDir = ResolveProgramDir(cl.home, CalledExecutableDir());
    if (!QFileInfo(programDir).isDir()) {
        PrintText(stderr, programName + QStringLiteral(": the program directory %1 does not exist (--home); nothing was "
                                                   "started or created\n").arg(programDir));
        return 1;
    }

    // A second instance ends at once, before it reads settings or empties a directory.
    SingleInstance instance(QFileInfo(executablePath).fileName(), programDir);
    const SingleInstance::Outcome outcome = instance.acquire();
    if (outcome == SingleInstance::Outcome::Failed) {
        PrintText(stderr, programName + QStringLiteral(": ") + instance.error() + u'\n');
        return 1;
    }
    if (outcome == SingleInstance::Outcome::Second) {
        // --once beside a running monitor would perform nothing, and must not look like success.
        if (cl.once) {
            PrintText(stderr, programName + QStringLiteral(": a monitor already runs on %1; --once did nothing\n").arg(programDir));
            return AlreadyRunningExitCode;
        }
        // The desktop program already running is brought to the front instead.
        if (windows && InstanceChannel::requestShow(instance.socketPath())) {
            PrintText(stderr, programName + QStringLiteral(": Ostrevo already runs for %1; its window was brought to the front\n")
                              .arg(instance.canonicalProgramDir()));
            return 0;
        }
        PrintText(stderr, programName + QStringLiteral(": another Ostrevo already runs for %1 (lock %2); this one ends\n")
                          .arg(instance.canonicalProgramDir(), instance.heldLock()));
#ifdef OSTREVO_WITH_GUI
        // The one running has no window to bring forward: a service, most likely.
        if (windows)
            ShowAlreadyRunningBox(instance.canonicalProgramDir());
#endif
        return AlreadyRunningExitCode;
    }

    Subsystems subsystems(programDir);
    // The printer ports are served by the monitor, not by --once.
    subsystems.setWatchPorts(!cl.once);
    subsystems.setDesktop(windows);
    // Only the desktop program keeps the entry that starts it at login: a service or a
    // scripted run must not make the desktop program start at the next graphical login.
    EngineConfig config = subsystems.engineConfig(executablePath, windows ? DefaultAutostartDir() : QString());
    // Login starts the configuration that is running now, not the default one.
    config.autostartArguments = {QStringLiteral("--home"), programDir};

    if (cl.once) {
        Engine engine(std::move(config));
        Headless reporter(&engine, false);
        const int code = engine.runOnce();
        // A scripted run reports the mail its jobs queued: their result files are there
        // when it ends, or the messages wait in the spool for the next start.
        if (!subsystems.waitForQueuedMail(OnceMailWaitMs))
            PrintText(stderr, programName + QStringLiteral(": mail still waits to be sent; it goes out at the next start\n"));
        if (const int waiting = subsystems.invoicesWaitingForKsef())
            PrintText(stderr, programName + QStringLiteral(": %1 invoice(s) wait for KSeF in the queue; they go at the next start\n").arg(waiting));
        // The outcomes the senders reported are queued to the engine: into the journal
        // with them before the engine goes.
        QCoreApplication::sendPostedEvents();
        return code;
    }

    // A service exists to monitor: it runs whenever the settings pass their check.
    config.alwaysMonitor = !windows;
    EngineHost host(std::move(config));
    std::unique_ptr<Headless> headless;
    // Another start reaches this one here: to show its window, or from the command line.
    InstanceChannel channel(instance.socketPath());
    channel.setCanShow(windows);
    MonitorControl control(host.engine(), &channel);
    control.setPortRequests([&subsystems](const QString &port) { return subsystems.portRequest(port); });
    if (!channel.listen())
        PrintText(stderr, programName + QStringLiteral(": another start cannot reach this one (--status, --pause, "
                                                   "--resume, the window to the front): ")
                          + channel.error() + u'\n');
#ifdef OSTREVO_WITH_GUI
    std::unique_ptr<TForm1> window;
#endif
    if (windows) {
#ifdef OSTREVO_WITH_GUI
        TForm1Options options;
        options.executablePath = executablePath;
        options.journalPath = programDir + QStringLiteral("/ostrevo.log");
        options.programDir = programDir;
        options.printoutFolder = [] { return Printer().builtinDirectory(); };
        window = std::make_unique<TForm1>(host.engine(), options);
        QObject::connect(&channel, &InstanceChannel::showRequested, window.get(), &TForm1::Open1Click);
#endif
    } else {
        headless = std::make_unique<Headless>(host.engine());
    }
    Headless::installSignalHandlers();
    // The print job in hand ends, and its journal line reaches the engine, before the engine stops.
    QObject::connect(app.get(), &QCoreApplication::aboutToQuit, [&host, &subsystems] {
        subsystems.stopPorts();
        host.stop();
    });
    host.start();
    const int rc = app->exec();
    subsystems.stopPorts();
    host.stop();
    // What the engine said while it shut down (a settings file that could not be written)
    // was queued for this thread after its event loop ended: delivered now, not lost.
    QCoreApplication::sendPostedEvents();
#ifdef OSTREVO_WITH_GUI
    if (window)
        window->showExitWarnings();
#endif
    return rc;
}
