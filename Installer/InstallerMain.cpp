#include "Installer/InstallerMain.h"

#include <windows.h>

#include "Installer/InstallerBox.h"
#include "Installer/InstallerContract.h"

namespace Lm {
namespace Installer {

bool AcquireInstallerMutex(const InstallerMessageRow& row, bool restore)
{
    const int limit = restore ? kInstallerMutexRestoreTries : kInstallerMutexTries;
    for (int tries = 0;;) {
        HANDLE mutex = CreateMutexW(nullptr, TRUE, kInstallerMutexName);
        // No handle at all (the name taken by an object we may not open) counts as another
        // holder too: returning true without a handle would let two Installers run.
        if (mutex && GetLastError() != ERROR_ALREADY_EXISTS) {
            // Held, never closed: the rule holds until the process ends.
            return true;
        }
        if (mutex)
            CloseHandle(mutex);
        Sleep(kInstallerMutexRetryMs);
        if (++tries >= limit)
            break;
    }
    if (!restore)
        ShowInstallerBox(row, InstallerMessageText(row, kMessageAlreadyRunning), kAlreadyRunningBoxFlags);
    return false;
}

} // namespace Installer
} // namespace Lm
