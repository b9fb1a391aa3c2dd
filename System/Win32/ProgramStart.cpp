// The entry point of every program of the suite (lm_program_start in cmake/LmTargets.cmake sets
// it): it limits the library search to the system folder before anything else runs, the C
// runtime's start-up and the static constructors included, then hands over to the C runtime's own
// entry point, which calls wWinMain.
#include "System/Win32/SystemLibrary.h"

extern "C" int WinMainCRTStartup();

// Windows calls an entry point with whatever stack alignment it has; the code after it may
// expect more.
extern "C" __attribute__((force_align_arg_pointer)) int LmProgramStart()
{
    Lm::System::Win32::RestrictDllSearchToSystemFolder();
    return WinMainCRTStartup();
}
