#include "Updater/ProgressDialogThread.h"

#include <cstdint>

#include "Updater/ExitCodeException.h"
#include "Updater/ProgressDialog.h"
#include "Updater/ProgressDialogIds.h"
#include "Updater/UpdaterResult.h"

namespace Lm {
namespace Updater {

using System::Win32::CScopedLock;

CProgressDialogThread::~CProgressDialogThread()
{
    Stop(INFINITE);
}

DWORD CProgressDialogThread::Execute()
{
    CProgressDialog* dialog = CProgressDialog::GetCurrent();
    HWND window = nullptr;
    auto end = [&](DWORD result) {
        if (window != nullptr)
            DestroyWindow(window);
        if (dialog != nullptr)
            dialog->m_window = nullptr;
        return result;
    };
    try {
        if (dialog == nullptr)
            throw CExitCodeException(FailureUIException);
        window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_UPDATER_PROGRESS), nullptr,
                                    &CProgressDialog::ProgressDialogProc, 0);
        if (window == nullptr)
            throw CExitCodeException(FailureUICreateDialog);
        bool pending = true;      // not shown yet
        ULONGLONG t0 = GetTickCount64();
        auto since = [&t0] { return static_cast<std::int64_t>(GetTickCount64() - t0); };
        for (;;) {
            if (IsStopRequested()) {
                if (pending || !dialog->m_show || since() >= dialog->m_minShowTimeMs)
                    return end(0);
            } else if (pending && since() >= UpdaterPauseBeforeDialogMs.load()) {
                if (dialog->m_show) {
                    ShowWindow(window, SW_SHOWNORMAL);
                    UpdateWindow(window);
                }
                pending = false;
                t0 = GetTickCount64();
            }
            MsgWaitForMultipleObjectsEx(0, nullptr, 50, QS_ALLINPUT, MWMO_ALERTABLE | MWMO_INPUTAVAILABLE);
            MSG message;
            if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) && !IsDialogMessageW(window, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            CScopedLock lock(dialog->m_lock);
            if (dialog->m_textChanged) {
                SetDlgItemTextW(window, IDC_UPDATER_STATUS, dialog->m_text.c_str());
                dialog->m_textChanged = false;
            }
        }
    } catch (const CExitCodeException& e) {
        return end(static_cast<DWORD>(e.GetCode()));
    } catch (...) {
        return end(FailureUIException);
    }
}

} // namespace Updater
} // namespace Lm
