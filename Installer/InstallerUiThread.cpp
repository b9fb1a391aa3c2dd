#include "Installer/InstallerUiThread.h"

#include <exdisp.h>
#include <oleidl.h>

#include "System/Exception.h"
#include "Installer/GuardedPointer.h"

namespace Lm {
namespace Installer {

using System::CRefPtr;

namespace {

const DWORD kLoopWaitMs = 20;

CGuardedPointer<CInstallerUiThread>& ThreadPointer()
{
    static CGuardedPointer<CInstallerUiThread>* pointer = new CGuardedPointer<CInstallerUiThread>();
    return *pointer;
}

void WaitForInputOrQuit()
{
    HANDLE quit = UiQuitEvent().GetHandle();
    ::MsgWaitForMultipleObjectsEx(1, &quit, kLoopWaitMs, QS_ALLINPUT, MWMO_ALERTABLE | MWMO_INPUTAVAILABLE);
}

// Offers the message to the browser's in-place active object; true when the browser took it.
bool TranslateInBrowser(CInstallerWindow& window, MSG& message)
{
    IWebBrowser2* browser = window.GetBrowser();
    if (!browser)
        return false;
    IOleInPlaceActiveObject* active = nullptr;
    browser->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&active));
    browser->Release();
    if (!active)
        return false;
    bool handled = false;
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;
    const bool alt = ::GetKeyState(VK_MENU) < 0;
    // Only S_OK says that the browser took the key: an error (a browser that does not translate
    // keys at all answers E_NOTIMPL) leaves it to the window, as S_FALSE does.
    if (!IsHeldBackFromBrowser(message, ctrl, alt) && active->TranslateAccelerator(&message) == S_OK) {
        handled = true;
        message.message = WM_NULL;
    }
    active->Release();
    return handled;
}

// Ends the window's browser and COM session on this thread, whichever way the loop ends.
class CShutDownOnExit {
public:
    explicit CShutDownOnExit(CInstallerWindow& window) : m_window(window) {}
    ~CShutDownOnExit() { m_window.ShutDown(); }
    CShutDownOnExit(const CShutDownOnExit&) = delete;
    CShutDownOnExit& operator=(const CShutDownOnExit&) = delete;

private:
    CInstallerWindow& m_window;
};

} // namespace

bool IsHeldBackFromBrowser(const MSG& message, bool ctrlDown, bool altDown)
{
    if (message.message < WM_KEYFIRST || message.message > 0x109)
        return false;
    const WPARAM key = message.wParam;
    if (key == VK_BROWSER_REFRESH || key == VK_F5 || key == VK_BACK)
        return true;
    const bool letter = (key >= 0x41 && key <= 0x5A) || (key >= 0x61 && key <= 0x7A);
    if (letter && ctrlDown) {
        const wchar_t lower = static_cast<wchar_t>(key >= 0x61 ? key : key + 0x20);
        if (lower == L'n' || lower == L'f' || lower == L'l' || lower == L'o' || lower == L'p' || lower == L's')
            return true;
    }
    return altDown && (key == VK_LEFT || key == VK_RIGHT);
}

std::wstring RunUiMessageLoop(CInstallerWindow& window)
{
    WaitForInputOrQuit();
    while (UiQuitEvent().Wait(0) != WAIT_OBJECT_0) {
        MSG message;
        if (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            const bool handled = TranslateInBrowser(window, message);
            if (!handled)
                ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        window.ProcessCommands();
        const std::wstring failure = window.GetPageFailure();
        if (!failure.empty())
            return failure;
        WaitForInputOrQuit();
    }
    return std::wstring();
}

CInstallerUiThread::CInstallerUiThread(const std::wstring& pageAddress, const CUiContext& context)
    : m_pageAddress(pageAddress), m_context(context)
{
}

CInstallerUiThread::~CInstallerUiThread()
{
    Join();
}

CRefPtr<CInstallerWindow> CInstallerUiThread::MakeWindow()
{
    return new CInstallerWindow(m_pageAddress, m_context);
}

DWORD CInstallerUiThread::Execute()
{
    CRefPtr<CInstallerWindow> window = MakeWindow();
    SetInstallerWindow(window);
    std::wstring failure;
    {
        CShutDownOnExit shutDown(*window);
        failure = RunUiMessageLoop(*window);
    }
    if (!failure.empty())
        System::ThrowException(failure, "Installer\\InstallerUiThread", 131, "Lm::Installer::CInstallerUiThread::Execute");
    return 0;
}

CRefPtr<CInstallerUiThread> GetInstallerUiThread()
{
    return ThreadPointer().Get();
}

void SetInstallerUiThread(const CRefPtr<CInstallerUiThread>& thread)
{
    // The old thread object, when this was its last reference, joins here.
    ThreadPointer().Set(thread);
}

} // namespace Installer
} // namespace Lm
