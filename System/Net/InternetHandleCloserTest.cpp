// What the closer does with a thread handed over by an owner that stopped waiting for it.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

#include "System/Net/InternetHandleCloser.h"
#include "System/Win32/Event.h"
#include "System/Win32/Thread.h"

using namespace Lm::System;

namespace {

struct Seen {
    Win32::CEvent go{ false, true };       // manual reset: the body may end
    std::atomic<DWORD> bodyThread{ 0 };
    std::atomic<DWORD> destroyedOn{ 0 };
};

// Stands in for a stream blocked in a call that ignores its stop: the body ends only on go.
class CBlockedThread : public Win32::CThread {
public:
    explicit CBlockedThread(Seen& seen) : m_seen(seen) {}
    ~CBlockedThread() override
    {
        Join();
        m_seen.destroyedOn = GetCurrentThreadId();
    }

protected:
    DWORD Execute() override
    {
        m_seen.bodyThread = GetCurrentThreadId();
        m_seen.go.Wait(INFINITE);
        return 0;
    }

private:
    Seen& m_seen;
};

} // namespace

TEST(InternetHandleCloser, a_thread_handed_over_is_released_elsewhere_once_it_has_ended)
{
    Seen seen;
    {
        CRefPtr<Win32::CThread> thread(new CBlockedThread(seen));
        thread->ThreadStart("");
        thread->SignalStop(); // it does not look
        const ULONGLONG begin = GetTickCount64();
        Net::CInternetHandleCloser::ReleaseWhenEnded(thread);
        thread = nullptr;
        EXPECT_LT(GetTickCount64() - begin, 1000u) << "the hand-over waited for the thread";
    }
    Sleep(300);
    EXPECT_EQ(0u, seen.destroyedOn.load()) << "released while its thread still ran";
    seen.go.Set();
    for (const ULONGLONG end = GetTickCount64() + 10000; seen.destroyedOn == 0 && GetTickCount64() < end;)
        Sleep(20);
    ASSERT_NE(0u, seen.destroyedOn.load()) << "never released";
    EXPECT_NE(GetCurrentThreadId(), seen.destroyedOn.load());
    EXPECT_NE(seen.bodyThread.load(), seen.destroyedOn.load()) << "destroyed on its own thread";
}
