#include "app/Subsystems.h"

#include "app/OpenPrintJobs.h"
#include "devices/FreeFileName.h"
#include "devices/TPrinter.h"
#include "fiscal/FiscalPrinters.h"
#include "forms/PdfFormJob.h"
#include "forms/PrintFormJob.h"
#include "jobs/DosPath.h"
#include "ksef/KsefJobs.h"
#include "lpt/PortPlaces.h"
#include "lpt/PortSpooler.h"
#include "monitor/JobFiles.h"
#include "net/TDM.h"
#include "textprint/PdfTextJob.h"
#include "textprint/TextPrinter.h"

namespace ostrevo {

namespace {
// As long as the engine lets a running job finish when the program quits.
constexpr int PortQuitGraceMs = 10000;
} // namespace

Subsystems::Subsystems(QString programDir)
    : m_programDir(std::move(programDir)), m_textPrinter(std::make_unique<TextPrinter>(m_symbols, Printer())),
      m_pdfTextJobs(std::make_unique<PdfTextJobs>(MailPdfHandOver{}, &m_symbols)),
      m_fiscalPrinters(std::make_unique<FiscalPrinters>(m_programDir)),
      m_net(std::make_unique<TDM>(m_programDir)),
      m_ksef(std::make_unique<KsefJobs>(m_programDir, m_net->laterOutcomes())),
      m_ports(std::make_unique<PortSpooler>(m_programDir, portServices())),
      m_settings(std::make_shared<Settings>()),
      m_formPrinter(std::make_unique<FormPrinter>(Printer(), m_barcode)),
      m_pdfFormJobs(std::make_unique<PdfFormJobs>(m_barcode))
{
    // A PDF job that names an address mails its file through the network jobs' module.
    m_pdfTextJobs->setMailPdf(m_net->mailPdfHandOver());
    m_pdfFormJobs->setMailPdf(m_net->mailPdfHandOver());
}

Subsystems::~Subsystems()
{
    stopPorts();
}

DeliveryServices Subsystems::portServices()
{
    DeliveryServices services;
    services.spoolMail = [this](const SpooledMail &mail) { return m_net->spoolMail(mail); };
    services.wakeMailSender = [this] { m_net->wakeMailSender(); };
    services.outcomes = &m_net->laterOutcomes();
    services.open = [this](const QString &pdf) -> QString {
        if (!m_desktop)
            return QStringLiteral("monitor działa bez pulpitu");
        // One argument, no shell; what xdg-open says within a moment tells whether it opened.
        const OpenerRun run = StartOpener(QStringLiteral("xdg-open"), pdf);
        if (!run.started)
            return QStringLiteral("nie można uruchomić xdg-open");
        if (run.exitCode && *run.exitCode != 0)
            return QStringLiteral("xdg-open zakończył się kodem %1").arg(*run.exitCode);
        return {};
    };
    return services;
}

QByteArray Subsystems::portRequest(const QString &port)
{
    return m_ports->portRequest(port);
}

DeliveryResult Subsystems::deliverCapture(const Settings &settings, const QString &port, const QByteArray &name)
{
    *m_settings = settings;
    // That port alone: the problems of the others are the monitor's to tell, not each print job's.
    Settings one = settings;
    one.ports.clear();
    if (const PortSettings *served = FindPort(settings, port))
        one.ports.append(*served);
    m_ports->configure(one, InstalledPrinterNames());
    m_net->afterSettingsRead(settings);
    return m_ports->deliverNow(port, name);
}

LaterOutcomes &Subsystems::laterOutcomes()
{
    return m_net->laterOutcomes();
}

void Subsystems::stopPorts()
{
    if (m_ports)
        m_ports->stopAll(PortQuitGraceMs);
}

QStringList Subsystems::afterSettingsRead(const Settings &settings)
{
    *m_settings = settings;
    m_net->afterSettingsRead(settings);
    m_ksef->afterSettingsRead(settings);
    const QString printouts = BuiltinPrinterDirectory(settings, m_programDir);
    Printer().setBuiltinDirectory(printouts);
    // What a killed run was writing there will never be finished.
    RemoveStalePartFiles(printouts);
    QStringList warnings = m_ports->configure(settings, InstalledPrinterNames());
    if (m_watchPorts)
        m_ports->startWatching();
    return m_symbols.loadSiteDefinitions(m_programDir) + warnings;
}

EngineConfig Subsystems::engineConfig(const QString &executablePath, const QString &autostartDir)
{
    EngineConfig config;
    config.programDir = m_programDir;
    config.executablePath = executablePath;
    config.autostartDir = autostartDir;
    config.printers.list = [] { return InstalledPrinterNames(); };
    config.printers.defaultName = [] { return DefaultPrinterName(); };
    config.afterSettingsRead = [this](const Settings &settings) { return afterSettingsRead(settings); };
    config.laterOutcomes = &m_net->laterOutcomes();

    RegisterTextPrintHandler(config.handlers, *m_textPrinter);
    RegisterPdfTextHandler(config.handlers, *m_pdfTextJobs);
    RegisterFormPrintHandler(config.handlers, *m_formPrinter);
    RegisterPdfFormHandler(config.handlers, *m_pdfFormJobs);
    RegisterFiscalHandler(config.handlers, *m_fiscalPrinters);
    m_net->registerHandlers(config.handlers);
    m_ksef->registerHandler(config.handlers);
    auto settings = m_settings;
    const QString programDir = m_programDir;
    RegisterOpenPrintHandlers(config.handlers, [settings, programDir](const QByteArray &value) {
        return DosPathMapper(settings->drives, programDir).toLocal(value);
    });
    return config;
}

int Subsystems::invoicesWaitingForKsef() const
{
    return int(m_ksef->queue().waiting().size());
}

bool Subsystems::waitForQueuedMail(int timeoutMs)
{
    const bool mailDone = m_net->waitForMail(timeoutMs);
    return m_ksef->waitUntilIdle(timeoutMs) && mailDone;
}

} // namespace ostrevo
