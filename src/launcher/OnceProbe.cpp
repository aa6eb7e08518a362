#include "launcher/OnceProbe.h"

#include "app/SingleInstance.h"
#include "handling/BuiltinPrinter.h"
#include "handling/Settings.h"
#include "jobs/PartFile.h"
#include "ksef/KsefQueue.h"
#include "monitor/Engine.h"
#include "monitor/Journal.h"
#include "net/MailSpool.h"
#include "textprint/SymbolTable.h"

#include <QFileInfo>

namespace ostrevo {

namespace {

// What the start of --once would take up besides the jobs (see Subsystems::afterSettingsRead).
bool StartHasWork(const Settings &settings, const QString &programDir)
{
    // The ports' settings are checked against the printers at every start and their
    // problems journaled: left to the program.
    return !settings.ports.isEmpty() || HasPartFiles(BuiltinPrinterDirectory(settings, programDir))
        || !MailSpool(MailSpool::dirIn(programDir)).waiting().isEmpty()
        || !KsefQueue(KsefQueue::dirIn(programDir)).waiting().isEmpty();
}

} // namespace

bool OnceHasNothingToDo(const QString &programDir, const QString &executableName)
{
    if (!QFileInfo(programDir).isDir())
        return false;
    SingleInstance instance(executableName, programDir);
    if (instance.acquire() != SingleInstance::Outcome::First)
        return false;
    if (Journal::dueForRotation(programDir + QStringLiteral("/ostrevo.log")))
        return false;
    EngineConfig config;
    config.programDir = programDir;
    // The built-in printer is always in the list; any other is CUPS's to confirm, which
    // the program asks.
    config.printers.list = [] { return QStringList{BuiltinPrinterName()}; };
    bool startHasWork = false;
    config.afterSettingsRead = [&startHasWork, &programDir](const Settings &settings) {
        startHasWork = StartHasWork(settings, programDir);
        // Bad lines of DefSym.ovx are warnings the program prints.
        SymbolTable symbols;
        return symbols.loadSiteDefinitions(programDir);
    };
    Engine engine(std::move(config));
    return engine.onceFindsNothing() && !startHasWork;
}

} // namespace ostrevo
