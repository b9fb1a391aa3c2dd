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

DWORD CSynchronizationObject::WaitForMany(const std::vector<CSynchronizationObject*>& objects, DWORD timeoutMs,
                                          bool waitAll)
{
    std::vector<HANDLE> handles;
    handles.reserve(objects.size());
    for (CSynchronizationObject* object : objects)
        handles.push_back(object->GetHandle());
    return ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), waitAll ? TRUE : FALSE,
                                    timeoutMs);
}

DWORD CSynchronizationObject::WaitForAny(CSynchronizationObject& a, CSynchronizationObject& b, DWORD timeoutMs,
                                         bool waitAll)
{
    return WaitForMany({&a, &b}, timeoutMs, waitAll);
}

} // namespace Win32
} // namespace System
} // namespace Lm
