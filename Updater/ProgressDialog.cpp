#include "Updater/ProgressDialog.h"

#include <commctrl.h>

#include "Updater/ExitCodeException.h"
#include "Updater/ProgressDialogIds.h"
#include "Updater/ProgressDialogThread.h"
#include "Updater/UpdaterResult.h"

namespace Lm {
namespace Updater {

using System::Win32::CScopedLock;

std::atomic<std::int32_t> UpdaterPauseBeforeDialogMs{1000};
std::atomic<std::int32_t> UpdaterMinDialogShowTimeMs{500};

namespace {

// The one live progress window; the window procedure and the UI thread reach it through this.
std::atomic<CProgressDialog*> g_current{nullptr};

} // namespace

CProgressDialog* CProgressDialog::GetCurrent()
{
    return g_current.load();
}

CProgressDialog::CProgressDialog(const std::wstring& caption, const std::wstring& text, bool show)
    : m_show(show), m_caption(caption), m_text(text), m_minShowTimeMs(UpdaterMinDialogShowTimeMs.load())
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    m_ready = new System::Win32::CEvent(false, false);

    CProgressDialog* none = nullptr;
    if (!g_current.compare_exchange_strong(none, this))
        throw CExitCodeException(FailureUIConstructor);

    try {
        m_uiThread = new CProgressDialogThread();
        m_uiThread->ThreadStart();
        HANDLE handles[2] = {m_ready->GetHandle(), m_uiThread->GetHandle()};
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0)
            throw CExitCodeException(FailureUIThread);
    } catch (...) {
        // No window for the main flow: the thread goes first, then the process-wide pointer that
        // it may still use.
        ReleaseThread();
        throw;
    }
    m_ready = nullptr;
}

CProgressDialog::~CProgressDialog()
{
    ReleaseThread();
}

void CProgressDialog::ReleaseThread()
{
    m_ready = nullptr;
    // The UI thread reads the process-wide pointer and this object until it ends: it is joined
    // (its destructor stops it and waits without limit) before the pointer is cleared.
    m_uiThread = nullptr;
    m_window = nullptr;
    CProgressDialog* self = this;
    g_current.compare_exchange_strong(self, nullptr);
}

void CProgressDialog::SetProgress(std::int32_t p)
{
    HWND window = m_window.load();
    if (window != nullptr)       // a window that is gone makes the post fail silently
        PostMessageW(window, kProgressMessage, static_cast<WPARAM>(p < 100 ? p : 100), 0);
}

void CProgressDialog::SetStatusText(const std::wstring& text)
{
    CScopedLock lock(m_lock);
    m_text = text;
    m_textChanged = true;
}

void CProgressDialog::SignalStop()
{
    if (m_uiThread)
        m_uiThread->SignalStop();
}

INT_PTR CALLBACK CProgressDialog::ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        switch (message) {
        case WM_INITDIALOG: {
            CProgressDialog* dialog = g_current.load();
            if (dialog == nullptr)
                return TRUE;
            {
                CScopedLock lock(dialog->m_lock);
                SetWindowTextW(window, dialog->m_caption.c_str());
                SetDlgItemTextW(window, IDC_UPDATER_STATUS, dialog->m_text.c_str());
                HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_UPDATER_ICON));
                SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
                SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
            }
            PostMessageW(GetDlgItem(window, IDC_UPDATER_PROGRESS), PBM_SETPOS, 0, 0);
            dialog->m_window = window;
            dialog->m_ready->Set();
            return TRUE;
        }
        case kProgressMessage:
            PostMessageW(GetDlgItem(window, IDC_UPDATER_PROGRESS), PBM_SETPOS, wParam, lParam);
            return TRUE;
        default:
            return FALSE;
        }
    } catch (...) {
        // Nothing leaves a window procedure; the UI thread goes on with the window as it is.
        return FALSE;
    }
}

} // namespace Updater
} // namespace Lm
