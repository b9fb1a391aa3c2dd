// Measures elapsed time in milliseconds (GetTickCount64), with pauses left out.
#pragma once

#include <cstdint>

namespace Lm {
namespace System {

class CStopwatch {
public:
    enum State : std::uint32_t { Stopped = 0, Running = 1, Paused = 2 };

    // From stopped: starts at now. From paused: goes on, the pause not counted. Running: no change.
    void Start();
    // When running: holds the elapsed time until the next Start.
    void Pause();
    // Back to stopped, elapsed 0.
    void Reset();
    std::uint64_t GetElapsedMilliseconds() const;
    State GetState() const { return m_state; }

private:
    State m_state = Stopped;
    std::uint64_t m_startTick = 0;
    std::uint64_t m_pauseTick = 0;
    std::uint64_t m_pausedTotal = 0;
};

} // namespace System
} // namespace Lm
