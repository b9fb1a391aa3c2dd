#include "System/Win32/CriticalSectionLock.h"

namespace Lm {
namespace System {
namespace Win32 {

CCriticalSectionLock::CCriticalSectionLock()
{
    ::InitializeCriticalSection(&m_section);
}

CCriticalSectionLock::~CCriticalSectionLock()
{
    ::DeleteCriticalSection(&m_section);
}

void CCriticalSectionLock::Lock()
{
    ::EnterCriticalSection(&m_section);
}

void CCriticalSectionLock::Unlock()
{
    ::LeaveCriticalSection(&m_section);
}

} // namespace Win32
} // namespace System
} // namespace Lm
