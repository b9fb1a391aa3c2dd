#include "System/Win32/CriticalSectionLock.h"

#include <gtest/gtest.h>

#include <stdexcept>

using Lm::System::Win32::CCriticalSectionLock;
using Lm::System::Win32::CScopedLock;

namespace {

// Counts the calls that reach the lock through its virtual functions.
class CCountingLock : public CCriticalSectionLock {
public:
    void Lock() override
    {
        CCriticalSectionLock::Lock();
        ++locks;
    }
    void Unlock() override
    {
        ++unlocks;
        CCriticalSectionLock::Unlock();
    }
    int locks = 0;
    int unlocks = 0;
};

struct LockProbe {
    CCriticalSectionLock* lock;
    HANDLE acquired;
};

DWORD WINAPI TakeLockOnce(void* parameter)
{
    auto* probe = static_cast<LockProbe*>(parameter);
    CScopedLock guard(*probe->lock);
    ::SetEvent(probe->acquired);
    return 0;
}

// True when another thread can take the lock within the time limit.
bool OtherThreadCanLock(CCriticalSectionLock& lock)
{
    LockProbe probe{&lock, ::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE thread = ::CreateThread(nullptr, 0, TakeLockOnce, &probe, 0, nullptr);
    const bool acquired = ::WaitForSingleObject(probe.acquired, 5000) == WAIT_OBJECT_0;
    if (acquired)
        ::WaitForSingleObject(thread, 5000);
    // A thread still blocked here is left behind on purpose: the test reports the failure.
    ::CloseHandle(thread);
    ::CloseHandle(probe.acquired);
    return acquired;
}

TEST(CriticalSectionLockTest, scoped_guard_locks_through_the_virtual_functions)
{
    CCountingLock lock;
    {
        CScopedLock guard(lock);
        EXPECT_EQ(1, lock.locks);
        EXPECT_EQ(0, lock.unlocks);
    }
    EXPECT_EQ(1, lock.unlocks);
}

TEST(CriticalSectionLockTest, guard_unlocks_when_an_exception_passes)
{
    CCountingLock lock;
    try {
        CScopedLock guard(lock);
        throw std::runtime_error("x");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(1, lock.unlocks);
    EXPECT_TRUE(OtherThreadCanLock(lock));
}

TEST(CriticalSectionLockTest, owning_thread_may_lock_again_and_unlocks_as_often)
{
    CCriticalSectionLock lock;
    {
        CScopedLock outer(lock);
        CScopedLock inner(lock);
        SUCCEED() << "the second lock did not block";
    }
    EXPECT_TRUE(OtherThreadCanLock(lock));
}

} // namespace
