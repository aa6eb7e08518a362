#pragma once

#include "devices/TAsBarcode.h"
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

private:
    QStringList afterSettingsRead(const Settings &settings);

    QString m_programDir;
    SymbolTable m_symbols;
    std::unique_ptr<TextPrinter> m_textPrinter;
    std::unique_ptr<PdfTextJobs> m_pdfTextJobs;
    std::unique_ptr<FiscalPrinters> m_fiscalPrinters; // VatTable of the last receipt
    std::unique_ptr<TDM> m_net;
    std::unique_ptr<KsefJobs> m_ksef; // after m_net: it reports through its outcomes
    std::shared_ptr<Settings> m_settings; // drive letters for paths inside jobs
    // The default settings that every barcode of a form starts from, as a copy.
    TAsBarcode m_barcode;
    std::unique_ptr<FormPrinter> m_formPrinter;
    std::unique_ptr<PdfFormJobs> m_pdfFormJobs;
};

} // namespace ostrevo
