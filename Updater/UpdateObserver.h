// What the download and launch steps tell the rest of a run while they work: the position of the
// progress window's bar, its status line, and the analytics result texts of failed tests and
// launch troubles. The main flow passes the progress window and the process-wide reporter behind
// it; tests pass a recorder.
#pragma once

#include <windows.h>

#include <string>

namespace Lm {
namespace Updater {

class IUpdateObserver {
public:
    virtual ~IUpdateObserver() = default;
    // Moves the bar (0..100): WM_USER + 2 posted to the progress window.
    virtual void PostBarPosition(int position) = 0;
    // Shows one text of the Updater's string table as the status line.
    virtual void SetStatusText(UINT stringId) = 0;
    // One analytics result text ("PatchSize2", "ServiceMissing", ...).
    virtual void ReportResult(const std::wstring& text) = 0;
};

} // namespace Updater
} // namespace Lm
