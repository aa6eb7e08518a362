#pragma once

#include <QtGlobal>

namespace ostrevo {

// At most one notice in each interval: a burst of failing jobs shows its first failure,
// and the next notice after a pause says how many were held back meanwhile.
class NoticeThrottle {
public:
    explicit NoticeThrottle(qint64 intervalMs = 5000) : m_interval(intervalMs) {}

    // Whether a notice may be shown at `nowMs` (a monotonic clock); when it may, `held`
    // gets the number held back since the last one shown.
    bool allow(qint64 nowMs, int &held)
    {
        if (m_shown && nowMs - m_last < m_interval) {
            ++m_held;
            return false;
        }
        held = m_held;
        m_held = 0;
        m_last = nowMs;
        m_shown = true;
        return true;
    }

private:
    qint64 m_interval;
    qint64 m_last = 0;
    int m_held = 0;
    bool m_shown = false;
};

} // namespace ostrevo
