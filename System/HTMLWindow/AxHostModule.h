// The process's control-hosting module object: what a program that hosts controls keeps while
// it does. It names the module whose window class the host windows use and counts the host
// windows alive in the process (each one locks the module while it holds a control).
#pragma once

#include <windows.h>

#include "System/RefPtr.h"
#include "System/ReferenceCounted.h"

namespace Lm {
namespace System {
namespace HTMLWindow {

class CAxHostModule : public CReferenceCounted {
public:
    CAxHostModule();

    HINSTANCE GetModuleInstance() const { return m_instance; }

    void Lock() { ::InterlockedIncrement(&m_lockCount); }
    void Unlock() { ::InterlockedDecrement(&m_lockCount); }
    // Host windows alive now; for tests and diagnostics.
    LONG GetLockCount() const { return ::InterlockedCompareExchange(&m_lockCount, 0, 0); }

private:
    HINSTANCE m_instance;
    mutable volatile LONG m_lockCount = 0;
};

// The process-wide holder of the module object: made on the first call and kept until the
// process ends; later calls return the same object.
CRefPtr<CAxHostModule> GetAtlModuleHolder();

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
