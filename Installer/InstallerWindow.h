// The Installer's window: the wizard page in the browser control, on the UI thread, and the two
// queues through which it meets the main thread. The main thread posts commands (scripts for the
// page, or "show", "hide", "close") that the UI thread runs; the page's events (SetEvent) are
// queued on the UI thread and handled by the main thread (HandleUiEvent).
//
// The page state says how far the page protocol has come; the main thread moves it on, and the
// UI thread reads it to answer WM_CLOSE (Alt+F4, the taskbar, End task) as the current view's
// Cancel: asked on the licence view, refused while installing, Finish on the finish view.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Installer/ComSession.h"
#include "Installer/UiContext.h"
#include "System/HTMLWindow/HTMLWindow.h"
#include "System/RefPtr.h"
#include "System/SignalObserver.h"
#include "System/Win32/CriticalSectionLock.h"
#include "System/Win32/Event.h"

namespace Lm {
namespace Installer {

enum PageState : LONG {
    PageStateLoading = 0,     // navigated; "HtmlInstallLoaded" not handled yet
    PageStateLicence = 1,     // "ShowPage( MAIN );" posted: the licence view
    PageStateBeginPosted = 2, // "BeginInstall();" posted: the licence was agreed in an earlier run
    PageStateInstalling = 3,  // the install runs
    PageStateFinishShown = 4, // "ShowPage( FINISH );" posted
    PageStateFinished = 5,    // finished or cancelled: the window closes, later events are dropped
};

// How long the page may take to raise "HtmlInstallLoaded" before the window gives up.
const DWORD kPageLoadTimeoutMs = 60000;

// Navigation stays inside the page folder: "about:blank", or a file (plain path or file: URL)
// below pageFolder once "." and ".." are resolved. Everything else (web addresses, script
// URLs, other folders) is refused.
bool IsPageNavigationAllowed(const std::wstring& url, const std::wstring& pageFolder);

class CInstallerWindow : public CComSession,
                         public System::HTMLWindow::CHTMLWindow,
                         public System::CSignalObserver {
public:
    // On the UI thread: COM, the external object, a 500 x 400 window centred on the primary
    // screen with the caption of the message row, the page values "LMLocale" and "BrandName",
    // then the navigation to the page.
    CInstallerWindow(const std::wstring& pageAddress, const CUiContext& context);
    ~CInstallerWindow() override;

    // Any thread. The command is appended and commandsDrained cleared in one step under the lock.
    void PostCommand(const std::wstring& text);
    void PostShow();
    void PostHide();
    void PostClose();
    // UI thread: runs every queued command in order; a failing script is logged and ends only
    // itself. commandsDrained is set when a pass leaves the queue empty.
    void ProcessCommands();
    // Waits until every command posted so far has run (true), or until the thread whose handle
    // is given ends (false). A null handle waits for the commands alone.
    bool WaitCommandsDrained(HANDLE uiThread);

    // Main thread: the oldest queued page event, or the empty text.
    std::wstring PopEvent();

    // The page's Close() and the "close" command: sets UiQuitEvent (the window stays).
    void OnClose() override;
    // The page's SetEvent: "ReadRegValues" is answered at once, other names are queued.
    void OnSetEvent(System::HTMLWindow::CHTMLBase* window, DISPPARAMS* params, std::wstring* result);

    PageState GetPageState() const { return static_cast<PageState>(InterlockedCompareExchange(&m_pageState, 0, 0)); }
    void SetPageState(PageState state) { InterlockedExchange(&m_pageState, state); }
    const CUiContext& GetContext() const { return m_context; }
    const std::wstring& GetPageAddress() const { return m_pageAddress; }

    // UI thread: why the page failed (a navigation error, or no "HtmlInstallLoaded" within the
    // load time-out); empty while it is fine.
    std::wstring GetPageFailure();

    // UI thread, when its loop ends: disconnects, releases the browser, its sink, the external
    // object and the COM session here, on the thread that made them.
    void ShutDown();

protected:
    // Shows (SW_SHOW) or hides the window, then twice: 50 ms, then to the top.
    virtual void ShowAndRaise(bool show);
    void OnBeforeNavigate(const std::wstring& url, bool& cancel) override;
    void OnNavigateError(const std::wstring& url, LONG statusCode) override;
    bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void SetPageLoadTimeout(DWORD timeoutMs) { m_pageLoadTimeoutMs = timeoutMs; }

private:
    void QueueEvent(const std::wstring& name);
    void ReadRegValues();

    // Locks: each guards its queue only; no code holds both.
    System::Win32::CCriticalSectionLock m_commandLock;
    System::Win32::CEvent m_commandsDrained;
    bool m_drained = true; // the event's state, under m_commandLock
    std::vector<std::wstring> m_commands;
    System::Win32::CCriticalSectionLock m_eventLock;
    std::vector<std::wstring> m_events;
    const CUiContext m_context;
    const std::wstring m_pageAddress;
    const std::wstring m_pageFolder;
    mutable volatile LONG m_pageState = PageStateLoading;
    // UI thread only.
    bool m_beginAllowed = false; // the licence view was shown, or BeginInstall() ran
    bool m_pageLoaded = false;
    std::wstring m_pageFailure;
    ULONGLONG m_navigatedAt = 0;
    DWORD m_pageLoadTimeoutMs = kPageLoadTimeoutMs;
};

// Set when the window is to go away (never reset by the program: once set, the window path is
// over); the UI loop ends on it.
System::Win32::CEvent& UiQuitEvent();

// The process-wide window pointer: set by the UI thread once the window exists.
System::CRefPtr<CInstallerWindow> GetInstallerWindow();
void SetInstallerWindow(const System::CRefPtr<CInstallerWindow>& window);

} // namespace Installer
} // namespace Lm
