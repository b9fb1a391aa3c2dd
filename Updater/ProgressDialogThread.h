// The progress window's UI thread: creates the dialog, shows it after the pause, pumps its
// messages and takes over status texts until it is asked to stop (Updater/ProgressDialog.h).
#pragma once

#include "System/Win32/Thread.h"

namespace Lm {
namespace Updater {

class CProgressDialogThread : public System::Win32::CThread {
public:
    ~CProgressDialogThread() override;

protected:
    // 0 when the window went after a stop, 513 when it could not be created, 512 on any other
    // failure.
    DWORD Execute() override;
};

} // namespace Updater
} // namespace Lm
