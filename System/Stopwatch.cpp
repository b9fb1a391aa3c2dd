#include "System/Stopwatch.h"

#include <windows.h>

namespace Lm {
namespace System {

void CStopwatch::Start()
{
    const std::uint64_t now = GetTickCount64();
    if (m_state == Stopped)
        m_startTick = now;
    else if (m_state == Paused)
        m_pausedTotal += now - m_pauseTick;
    m_state = Running;
}

void CStopwatch::Pause()
{
    if (m_state != Running)
        return;
    m_pauseTick = GetTickCount64();
    m_state = Paused;
}

void CStopwatch::Reset()
{
    m_state = Stopped;
    m_pausedTotal = 0;
}

std::uint64_t CStopwatch::GetElapsedMilliseconds() const
{
    switch (m_state) {
    case Running: return GetTickCount64() - m_startTick - m_pausedTotal;
    case Paused: return m_pauseTick - m_startTick - m_pausedTotal;
    default: return 0;
    }
}

} // namespace System
} // namespace Lm
