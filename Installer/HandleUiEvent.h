// The main thread's side of the page protocol: one queued page event at a time, guarded by the
// window's page state so that the install runs once, only after the licence view was shown (or
// BeginInstall() was posted for a licence agreed earlier), a Cancel counts only before the
// install begins, and nothing is handled after the finish.
#pragma once

#include "Installer/InstallSteps.h"
#include "Installer/UiContext.h"

namespace Lm {
namespace Installer {

// Handles the oldest queued page event. True when it took one (also one that its state drops);
// false when there is no window, no event, or a name the protocol does not know (dropped).
// Exceptions of the install steps pass on to the caller.
bool HandleUiEvent(IInstallSteps& steps, const CUiContext& context);

// Whether the shared settings file says that the licence was agreed before ("DownloadEULAAgreed"
// or "OEMEULAAgreed" of [Main] exactly "true" or "TRUE"). Throws when the file cannot be read.
bool IsLicenceAgreed(const CUiContext& context);

} // namespace Installer
} // namespace Lm
