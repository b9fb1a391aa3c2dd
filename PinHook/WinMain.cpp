// PinHook brands one shortcut of the main application or clears its branding; it has no window.
//   PinHook.exe "<link>"                                      clear
//   PinHook.exe "<link>" "<resource module>" "<icon>" [tag]   brand
#include "PinHook/PinHookContract.h"
#include "PinHook/UpdateShortcut.h"

#include <windows.h>
#include <stdlib.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    try {
        return static_cast<int>(Lm::PinHook::UpdateShortcut(__argc, __wargv));
    } catch (...) {
        // Only a failed allocation gets here; the caller sees it in the exit code.
        return static_cast<int>(Lm::PinHook::kExitFailure);
    }
}
