#include "handling/JobHandlers.h"

namespace ostrevo {

JobHandlers::JobHandlers()
{
    // An empty job does nothing, and that is its whole handler.
    m_handlers[jkEmpty] = [](const JobContext &, const QString &) { return JobResult::done(); };
}

JobResult JobHandlers::run(JobKind kind, const JobContext &context, const QString &textPath) const
{
    if (!has(kind))
        return {JobResult::NotSupported, QStringLiteral("%1: ten rodzaj zadania nie jest jeszcze obsługiwany").arg(JobKindName(kind))};
    return m_handlers[kind](context, textPath);
}

} // namespace ostrevo
