// The stopwatch against the tick counter it reads: bounds taken around each call, never a
// fixed duration.
#include <gtest/gtest.h>

#include "System/Stopwatch.h"

#include <windows.h>

using Lm::System::CStopwatch;

TEST(Stopwatch, stopped_and_reset_read_zero)
{
    CStopwatch watch;
    EXPECT_EQ(CStopwatch::Stopped, watch.GetState());
    EXPECT_EQ(0u, watch.GetElapsedMilliseconds());
    watch.Pause();  // pausing a stopped watch does nothing
    EXPECT_EQ(CStopwatch::Stopped, watch.GetState());
    watch.Start();
    Sleep(20);
    watch.Reset();
    EXPECT_EQ(CStopwatch::Stopped, watch.GetState());
    EXPECT_EQ(0u, watch.GetElapsedMilliseconds());
}

TEST(Stopwatch, a_pause_is_left_out_of_the_running_time)
{
    CStopwatch watch;
    const ULONGLONG beforeStart = GetTickCount64();
    watch.Start();
    Sleep(30);
    watch.Pause();
    const ULONGLONG afterPause = GetTickCount64();
    const std::uint64_t atPause = watch.GetElapsedMilliseconds();
    EXPECT_LE(atPause, afterPause - beforeStart);

    Sleep(100);
    // Paused: the reading does not move.
    EXPECT_EQ(atPause, watch.GetElapsedMilliseconds());
    EXPECT_EQ(CStopwatch::Paused, watch.GetState());

    const ULONGLONG beforeRestart = GetTickCount64();
    watch.Start();
    watch.Start();  // a running watch stays as it is
    Sleep(30);
    const std::uint64_t running = watch.GetElapsedMilliseconds();
    const ULONGLONG afterReading = GetTickCount64();
    EXPECT_GE(running, atPause);
    // The whole span minus at least the pause that the test itself saw.
    EXPECT_LE(running, (afterReading - beforeStart) - (beforeRestart - afterPause));
}
