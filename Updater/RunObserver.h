// What the download and launch steps of a run tell go to the run's progress window (the bar and
// the status line, in the run's language) and to the process-wide reporter (the result texts).
#pragma once

#include "System/Net/ResourceStrings.h"
#include "Updater/ProgressDialog.h"
#include "Updater/UpdateObserver.h"

namespace Lm {
namespace Updater {

class CRunObserver : public IUpdateObserver {
public:
    CRunObserver(CProgressDialog& dialog, const System::Net::CResourceStrings& strings)
        : m_dialog(dialog), m_strings(strings)
    {
    }
    void PostBarPosition(int position) override;
    void SetStatusText(UINT stringId) override;
    void ReportResult(const std::wstring& text) override;

private:
    CProgressDialog& m_dialog;
    const System::Net::CResourceStrings& m_strings;
};

} // namespace Updater
} // namespace Lm
