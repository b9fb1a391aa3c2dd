#include "Updater/RunObserver.h"

#include "Updater/UpdateAnalytics.h"

namespace Lm {
namespace Updater {

void CRunObserver::PostBarPosition(int position)
{
    // A window that is gone already takes nothing (posting to none would reach this thread).
    if (HWND window = m_dialog.GetWindow())
        PostMessageW(window, kProgressMessage, static_cast<WPARAM>(position), 0);
}

void CRunObserver::SetStatusText(UINT stringId)
{
    m_dialog.SetStatusText(m_strings.LoadString(stringId));
}

void CRunObserver::ReportResult(const std::wstring& text)
{
    if (CUpdateAnalytics* reporter = GetUpdateAnalytics())
        reporter->ReportResult(text);
}

} // namespace Updater
} // namespace Lm
