#include "app/Subsystems.h"

#include "app/OpenPrintJobs.h"
#include "devices/FreeFileName.h"
#include "devices/TPrinter.h"
#include "fiscal/FiscalPrinters.h"
#include "forms/PdfFormJob.h"
#include "forms/PrintFormJob.h"
#include "jobs/DosPath.h"
#include "ksef/KsefJobs.h"
#include "monitor/JobFiles.h"
#include "net/TDM.h"
#include "textprint/PdfTextJob.h"
#include "textprint/TextPrinter.h"

namespace ostrevo {

Subsystems::Subsystems(QString programDir)
    : m_programDir(std::move(programDir)), m_textPrinter(std::make_unique<TextPrinter>(m_symbols, Printer())),
      m_pdfTextJobs(std::make_unique<PdfTextJobs>(MailPdfHandOver{}, &m_symbols)),
      m_fiscalPrinters(std::make_unique<FiscalPrinters>(m_programDir)),
      m_net(std::make_unique<TDM>(m_programDir)),
      m_ksef(std::make_unique<KsefJobs>(m_programDir, m_net->laterOutcomes())),
      m_settings(std::make_shared<Settings>()),
      m_formPrinter(std::make_unique<FormPrinter>(Printer(), m_barcode)),
      m_pdfFormJobs(std::make_unique<PdfFormJobs>(m_barcode))
{
    // A PDF job that names an address mails its file through the network jobs' module.
    m_pdfTextJobs->setMailPdf(m_net->mailPdfHandOver());
    m_pdfFormJobs->setMailPdf(m_net->mailPdfHandOver());
}

Subsystems::~Subsystems() = default;

QStringList Subsystems::afterSettingsRead(const Settings &settings)
{
    *m_settings = settings;
    m_net->afterSettingsRead(settings);
    m_ksef->afterSettingsRead(settings);
    const QString printouts = settings.pdfPrinterDir.isEmpty()
        ? m_programDir + QStringLiteral("/wydruki")
        : DosPathMapper(settings.drives, m_programDir).toLocal(settings.pdfPrinterDir);
    Printer().setBuiltinDirectory(printouts);
    // What a killed run was writing there will never be finished.
    RemoveStalePartFiles(printouts);
    return m_symbols.loadSiteDefinitions(m_programDir);
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
