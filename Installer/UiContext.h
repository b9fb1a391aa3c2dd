// What the installer window, its UI thread and the page protocol need of the run: handed to the
// UI thread and the window by value (they never change), and to HandleUiEvent.
#pragma once

#include <string>

#include "Installer/InstallerContract.h"

namespace Lm {
namespace Installer {

struct CUiContext {
    // Full-installer mode: the page goes straight to the install and the user is never asked.
    bool fullMode = false;
    // UI language index (0-9): the message row and the page's "LMLocale".
    int languageIndex = 0;
    // Where the run's state lives; the defaults are the machine's, tests give their own.
    // The touchpoint's uninstall entry, which a Cancel writes and removes again.
    std::wstring touchpointEntryKey = std::wstring(kUninstallKeyRoot) + kTouchpointUninstallKeyName;
    // The shared settings ini with the licence flags; empty: <ProgramData>\Larchmeadow\Larchmeadow.ini.
    std::wstring settingsIni;
    // The page-progress key that "ReadRegValues" reads.
    std::wstring statusKey = kInstallerStatusKey;
};

} // namespace Installer
} // namespace Lm
