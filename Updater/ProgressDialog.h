// The Updater's progress window: a status line and a progress bar on a UI thread of its own, so
// the main flow never pumps messages. It moves the bar by posted messages and changes the line
// through a locked text field. The window stays hidden for a pause after it is created and, once
// shown, up for a minimum time; with show off it is never shown but still owns the main flow's
// message boxes. One progress window at most exists in the process.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "System/RefPtr.h"
#include "System/ReferenceCounted.h"
#include "System/Win32/CriticalSectionLock.h"
#include "System/Win32/Event.h"

namespace Lm {
namespace Updater {

// Developer settings, process-wide, written once at start before any window exists (the main flow
// reads the Debugging key's values of the same names); the UI thread reads them. 0 or a negative
// value means "at once".
extern std::atomic<std::int32_t> UpdaterPauseBeforeDialogMs;   // hidden this long after creation [1000]
extern std::atomic<std::int32_t> UpdaterMinDialogShowTimeMs;   // a shown window stays this long [500]

// The bar's message: the position (0..100) in wParam, 0 in lParam. Posted to the window by
// SetProgress and by the download and launch steps; passed on to the bar as PBM_SETPOS.
const UINT kProgressMessage = WM_USER + 2;

class CProgressDialogThread;

class CProgressDialog : public System::CNonCopyable {
public:
    // Starts the UI thread and returns once the window exists (hidden). Raises CExitCodeException
    // 514 when a progress window exists already (that one is left as it is) and 515 when the UI
    // thread ended before its window was ready.
    CProgressDialog(const std::wstring& caption, const std::wstring& text, bool show);
    // Stops the UI thread (a shown window first stays its minimum time) and waits for it.
    ~CProgressDialog();

    // Moves the bar: p above 100 posts 100; negative values are posted unchanged.
    void SetProgress(std::int32_t p);
    // The status line; the UI thread shows it within about 50 ms.
    void SetStatusText(const std::wstring& text);
    // Asks the UI thread to end (the window goes when its minimum time is over); returns at once.
    void SignalStop();
    // The window, owner of the main flow's message boxes; null once the UI thread ended.
    HWND GetWindow() const { return m_window.load(); }

    // The one live progress window, or null.
    static CProgressDialog* GetCurrent();

private:
    friend class CProgressDialogThread;
    static INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void ReleaseThread();

    bool m_show;
    System::Win32::CCriticalSectionLock m_lock;    // guards m_textChanged, m_caption and m_text
    bool m_textChanged = false;
    std::wstring m_caption;
    std::wstring m_text;
    std::int32_t m_minShowTimeMs;
    std::atomic<HWND> m_window{nullptr};           // set at WM_INITDIALOG, cleared when the UI thread ends
    System::CRefPtr<CProgressDialogThread> m_uiThread;
    System::CRefPtr<System::Win32::CEvent> m_ready; // held only until the window exists
};

} // namespace Updater
} // namespace Lm
