// The library's one lock: a Win32 critical section behind virtual Lock/Unlock, and the scoped
// guard through which all code takes it. The lock is recursive for the thread that holds it.
#pragma once

#include <windows.h>

#include "System/ReferenceCounted.h"

namespace Lm {
namespace System {
namespace Win32 {

class CCriticalSectionLock : public CNonCopyable {
public:
    CCriticalSectionLock();
    virtual ~CCriticalSectionLock();

    virtual void Lock();
    virtual void Unlock();

private:
    CRITICAL_SECTION m_section;
};

// Locks on construction and unlocks on destruction, also when an exception passes.
class CScopedLock : public CNonCopyable {
public:
    explicit CScopedLock(CCriticalSectionLock& lock) : m_lock(lock) { m_lock.Lock(); }
    ~CScopedLock() { m_lock.Unlock(); }

private:
    CCriticalSectionLock& m_lock;
};

} // namespace Win32
} // namespace System
} // namespace Lm
