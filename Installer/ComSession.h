// What a thread that shows the installer window holds while the window lives: COM initialised
// on the thread, the process's control-hosting module object and the system-library preloader
// (so the browser control's libraries come from the system folder before the control is made).
// A base of the window, constructed first and destroyed last, so COM outlives the control.
#pragma once

#include <objbase.h>

#include <memory>

#include "System/HTMLWindow/AxHostModule.h"
#include "System/HTMLWindow/DllPreloader.h"
#include "System/RefPtr.h"
#include "System/Win32/COMInitializer.h"

namespace Lm {
namespace Installer {

// CoInitialize's result is one that the session can go on with: S_OK, S_FALSE or
// RPC_E_CHANGED_MODE (COM already initialised differently on this thread); any other throws
// "CoInitialize failed".
void CheckCoInitializeResult(HRESULT result);

class CComSession {
public:
    // COM first (a refused CoInitialize throws), then the module holder, then the preloader.
    CComSession();
    // EndComSession, when it has not run yet.
    ~CComSession();
    CComSession(const CComSession&) = delete;
    CComSession& operator=(const CComSession&) = delete;

    // Releases the preloader and the module holder, then uninitialises COM. Runs once, on the
    // thread that made the session; later calls do nothing.
    void EndComSession();
    bool IsComSessionEnded() const { return !m_com; }

private:
    std::unique_ptr<System::Win32::CCOMInitializer> m_com;
    System::CRefPtr<System::HTMLWindow::CAxHostModule> m_module;
    System::CRefPtr<System::HTMLWindow::CDllPreloader> m_preloader;
};

} // namespace Installer
} // namespace Lm
