// The Updater's entry point: the main flow's result is the process exit code.
#include <windows.h>

#include "Updater/UpdaterMain.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return Lm::Updater::RunUpdater();
}
