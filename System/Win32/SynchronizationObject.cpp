#include "System/Win32/SynchronizationObject.h"

#include "System/Exception.h"

namespace Lm {
namespace System {
namespace Win32 {

DWORD CSynchronizationObject::Wait(DWORD timeoutMs)
{
    const DWORD result = ::WaitForSingleObject(m_handle, timeoutMs);
    if (result == WAIT_FAILED)
        ThrowWin32Exception("Wait Failed:", "Lm\\System\\Win32\\Synchronization.cpp", 23,
                            "Lm::System::Win32::CSynchronizationObject::Wait");
    return result;
}

} // namespace Win32
} // namespace System
} // namespace Lm
