// Installer.exe: puts the games application's touchpoint on the PC, in its wizard window or
// silently, has the Updater fetch and install the main application, and lets the waiting Park
// start it at the end.
#include <windows.h>

#include "Installer/InstallerMain.h"
#include "System/Exception.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    try {
        return Lm::Installer::InstallerMain();
    } catch (const Lm::System::CException&) {
        return 1;
    } catch (...) {
        // Anything else (memory) ends the run the same way, without the crash handler's box.
        return 1;
    }
}
