// The Updater's entry point: the main flow's result is the process exit code.
#include <windows.h>

#include "System/Win32/SystemLibrary.h"
#include "Updater/UpdaterMain.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // comctl32 registers its window classes through user32 as it loads. Loaded on first use (the
    // progress window), it would load while the analytics thread may be bringing up user32's
    // display driver, and under Wine each thread then waits for a lock the other holds. So it is
    // loaded here, from the system folder, before the Updater starts any thread.
    Lm::System::Win32::LoadSystemLibrary(L"comctl32.dll");
    return Lm::Updater::RunUpdater();
}
