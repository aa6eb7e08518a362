#include "launcher/OnceProbe.h"

#include "app/SingleInstance.h"
#include "devices/CupsNames.h"
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

bool NamesCupsPrinter(const Settings &settings)
{
    return !IsBuiltinPrinter(settings.drukarka) || (settings.monitorowanie2 && !IsBuiltinPrinter(settings.drukarka2));
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
    // The printer list as the program has it, CUPS asked only when the settings name a
    // printer other than the built-in one.
    const Settings *read = nullptr;
    config.printers.list = [&read] {
        const QStringList builtin{BuiltinPrinterName()};
        if (!read || !NamesCupsPrinter(*read))
            return builtin;
        return LoadedCupsQueueNames().value_or(QStringList()) + builtin;
    };
    bool startHasWork = false;
    config.afterSettingsRead = [&read, &startHasWork, &programDir](const Settings &settings) {
        read = &settings;
        startHasWork = StartHasWork(settings, programDir);
        // Bad lines of DefSym.ovx are warnings the program prints.
        SymbolTable symbols;
        return symbols.loadSiteDefinitions(programDir);
    };
    Engine engine(std::move(config));
    return engine.onceFindsNothing() && !startHasWork;
}

} // namespace ostrevo
