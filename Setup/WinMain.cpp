// setup.exe: the program a user downloads. It unpacks the Installer and Park into a private
// temporary folder, arms Park to start the main application afterwards, and runs the Installer.
// No window, no message: 0 when the run reached its end, 1 when one of its own steps failed.
#include <windows.h>
#include <stdlib.h>

#include "Setup/RunSetup.h"
#include "System/Exception.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    try {
        Lm::Setup::RunSetup(__argc, __wargv);
        return 0;
    } catch (const Lm::System::CException&) {
        return 1;
    } catch (...) {
        // Anything else (memory) ends the run the same way rather than through the crash handler.
        return 1;
    }
}
