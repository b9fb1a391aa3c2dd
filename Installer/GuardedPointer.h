// A process-wide intrusive pointer that one thread sets and others read: every read takes its
// own reference under the lock, and an object whose last reference was the old value goes
// outside the lock.
#pragma once

#include "System/RefPtr.h"
#include "System/Win32/CriticalSectionLock.h"

namespace Lm {
namespace Installer {

template <typename T>
class CGuardedPointer {
public:
    System::CRefPtr<T> Get()
    {
        System::Win32::CScopedLock guard(m_lock);
        return m_pointer;
    }

    void Set(const System::CRefPtr<T>& value)
    {
        System::CRefPtr<T> old;
        {
            System::Win32::CScopedLock guard(m_lock);
            old = m_pointer;
            m_pointer = value;
        }
    }

private:
    System::Win32::CCriticalSectionLock m_lock;
    System::CRefPtr<T> m_pointer;
};

} // namespace Installer
} // namespace Lm
