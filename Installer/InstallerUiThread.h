// The Installer's UI thread: makes the installer window, runs the UI message loop until
// UiQuitEvent is set, then releases the window's browser and COM session on this thread.
// A page that fails to load (a navigation error, or no "HtmlInstallLoaded" in time) ends the
// thread with an exception that names the failure; the main thread finds it in the thread object.
#pragma once

#include <windows.h>

#include <string>

#include "Installer/InstallerWindow.h"
#include "Installer/UiContext.h"
#include "System/RefPtr.h"
#include "System/Win32/Thread.h"

namespace Lm {
namespace Installer {

// Whether a keyboard message is kept from the browser's accelerator handling (it is still
// dispatched): F5, the browser's refresh key and Backspace always; Ctrl with N, F, L, O, P or S;
// Alt with Left or Right. The page's own keys (Ctrl+Shift+A, C, O) still reach the page.
bool IsHeldBackFromBrowser(const MSG& message, bool ctrlDown, bool altDown);

// Pumps the window's thread until UiQuitEvent is set, offering keys to the browser (through the
// filter) and running the window's commands after every pass. Returns the page failure that
// ended it, or the empty text when UiQuitEvent ended it.
std::wstring RunUiMessageLoop(CInstallerWindow& window);

class CInstallerUiThread : public System::Win32::CThread {
public:
    CInstallerUiThread(const std::wstring& pageAddress, const CUiContext& context);
    // Waits for the thread to end when it still runs.
    ~CInstallerUiThread() override;

    const std::wstring& GetPageAddress() const { return m_pageAddress; }

protected:
    DWORD Execute() override;
    // Makes the window on this thread (tests give a window whose page is a stand-in).
    virtual System::CRefPtr<CInstallerWindow> MakeWindow();

    const std::wstring m_pageAddress;
    const CUiContext m_context;
};

// The process-wide UI-thread pointer: set by the main flow when it starts the thread.
System::CRefPtr<CInstallerUiThread> GetInstallerUiThread();
void SetInstallerUiThread(const System::CRefPtr<CInstallerUiThread>& thread);

} // namespace Installer
} // namespace Lm
