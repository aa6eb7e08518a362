#include "handling/LaterOutcomes.h"

namespace ostrevo {

namespace {
// A monitor that never listens (a test, --once without a journal) must not make the
// sender hold messages without end.
constexpr qsizetype MaxHeld = 1000;
} // namespace

void LaterOutcomes::report(const LaterOutcome &outcome)
{
    std::lock_guard lock(m_mutex);
    if (m_sink) {
        m_sink(outcome);
        return;
    }
    if (m_held.size() < MaxHeld)
        m_held.append(outcome);
}

void LaterOutcomes::setSink(Sink sink)
{
    std::lock_guard lock(m_mutex);
    m_sink = std::move(sink);
    if (!m_sink)
        return;
    for (const LaterOutcome &outcome : std::as_const(m_held))
        m_sink(outcome);
    m_held.clear();
}

} // namespace ostrevo
