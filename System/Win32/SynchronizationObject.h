// A reference-counted waitable Win32 handle. The kernel object is the synchronisation: the
// wrapper adds no lock and may be used from several threads at once.
#pragma once

#include <windows.h>

#include "System/ReferenceCounted.h"

#include <vector>

namespace Lm {
namespace System {
namespace Win32 {

class CSynchronizationObject : public CReferenceCounted {
public:
    // WaitForSingleObject's result unchanged (WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT);
    // only WAIT_FAILED throws "Wait Failed:" with the system text.
    virtual DWORD Wait(DWORD timeoutMs);

    HANDLE GetHandle() const { return m_handle; }

    // WaitForMultipleObjects over the objects' handles in their order; its raw result.
    static DWORD WaitForMany(const std::vector<CSynchronizationObject*>& objects, DWORD timeoutMs, bool waitAll);
    static DWORD WaitForAny(CSynchronizationObject& a, CSynchronizationObject& b, DWORD timeoutMs, bool waitAll);

protected:
    CSynchronizationObject() = default;

    // Null when there is none; the derived class that opened it closes it.
    HANDLE m_handle = nullptr;
};

} // namespace Win32
} // namespace System
} // namespace Lm
