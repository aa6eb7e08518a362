#pragma once

#include <QString>

#include <algorithm>
#include <atomic>
#include <chrono>

namespace ostrevo {

// When the quit was asked for: the running job is told to give up only a grace later.
struct EngineQuitState {
    std::atomic<qint64> requestedAt{0}; // steady milliseconds; 0 = no quit asked for
    qint64 graceMs = 0;

    static qint64 nowMs()
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    bool quitting() const { return requestedAt.load() != 0; }
    qint64 msUntilGiveUp() const
    {
        const qint64 at = requestedAt.load();
        return at == 0 ? graceMs : std::max<qint64>(0, at + graceMs - nowMs());
    }
    bool jobMustGiveUp() const { return quitting() && msUntilGiveUp() == 0; }
};

} // namespace ostrevo
