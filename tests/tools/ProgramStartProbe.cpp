// Starts as every program of the suite starts (lm_program_start): a static constructor, which runs
// before wWinMain, records whether the library search was already limited to the system folder,
// and loads by its bare name a library that only a copy planted beside the probe carries. Exit
// code 0 when the search was limited and nothing was loaded, 1 otherwise.
#include <windows.h>

#include "System/Win32/SystemLibrary.h"

namespace {

struct CStartRecord {
    CStartRecord()
        : restricted(Lm::System::Win32::IsDllSearchRestricted()), planted(::LoadLibraryW(L"LmPlantedProbe.dll"))
    {
    }
    bool restricted;
    HMODULE planted;
};

const CStartRecord g_start;

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return g_start.restricted && g_start.planted == nullptr ? 0 : 1;
}
