#pragma once

#include "devices/TAsBarcode.h"
#include "lpt/CaptureDelivery.h"
#include "monitor/Engine.h"
#include "textprint/SymbolTable.h"

#include <QString>
#include <memory>

namespace ostrevo {

class FormPrinter;
class PdfFormJobs;
class PdfTextJobs;
class TextPrinter;
class FiscalPrinters;
class TDM;
class KsefJobs;
class PortSpooler;

// The long-lived objects of the job kinds (symbol table, printout renderer, ...) and the
// engine configuration that registers their handlers. Lives as long as the program.
class Subsystems {
public:
    explicit Subsystems(QString programDir);
    ~Subsystems();
    Subsystems(const Subsystems &) = delete;
    Subsystems &operator=(const Subsystems &) = delete;

    EngineConfig engineConfig(const QString &executablePath, const QString &autostartDir);
    // The end of --once: waits until the mail and the invoices its jobs queued have their
    // result files; false when some is still waiting after the time (it goes out at the
    // next start). Invoices KSeF cannot take now do not hold it up.
    bool waitForQueuedMail(int timeoutMs);
    // How many invoices KSeF could not take yet.
    int invoicesWaitingForKsef() const;

    // The monitor (not --once): the printer ports' directories are watched once the
    // settings are read. Set before the engine starts.
    void setWatchPorts(bool watch) { m_watchPorts = watch; }
    // Whether a PDF may be opened on a desktop (Otworz=1); a service has none.
    void setDesktop(bool desktop) { m_desktop = desktop; }
    // `ostrevo --lpt` asks the running monitor: see PortSpooler::portRequest.
    QByteArray portRequest(const QString &port);
    // `ostrevo --lpt` with no monitor running: delivers that capture with these settings
    // now; its mail is waited for like --once's.
    DeliveryResult deliverCapture(const Settings &settings, const QString &port, const QByteArray &name);
    // Quitting: the print job in hand may finish within the grace, before the engine stops.
    void stopPorts();
    // Where later outcomes and the printer ports' journal lines are told.
    LaterOutcomes &laterOutcomes();

private:
    QStringList afterSettingsRead(const Settings &settings);
    DeliveryServices portServices();

    QString m_programDir;
    SymbolTable m_symbols;
    std::unique_ptr<TextPrinter> m_textPrinter;
    std::unique_ptr<PdfTextJobs> m_pdfTextJobs;
    std::unique_ptr<FiscalPrinters> m_fiscalPrinters; // VatTable of the last receipt
    std::unique_ptr<TDM> m_net;
    std::unique_ptr<KsefJobs> m_ksef; // after m_net: it reports through its outcomes
    std::unique_ptr<PortSpooler> m_ports; // after m_net: it spools mail and reports through its outcomes
    bool m_watchPorts = false;
    bool m_desktop = false;
    std::shared_ptr<Settings> m_settings; // drive letters for paths inside jobs
    // The default settings that every barcode of a form starts from, as a copy.
    TAsBarcode m_barcode;
    std::unique_ptr<FormPrinter> m_formPrinter;
    std::unique_ptr<PdfFormJobs> m_pdfFormJobs;
};

} // namespace ostrevo
