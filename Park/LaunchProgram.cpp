#include "Park/ParkModule.h"

#include <shellapi.h>
#include <wchar.h>

bool WorkingFolderOf(const wchar_t* execute, wchar_t* folder, int folderSize)
{
    folder[0] = L'\0';
    const wchar_t* slash = wcsrchr(execute, L'\\');
    if (slash == nullptr)
        return false;
    ptrdiff_t length = slash - execute + 1;   // the backslash stays
    if (length >= folderSize)
        return false;
    wmemcpy(folder, execute, static_cast<size_t>(length));
    folder[length] = L'\0';
    return true;
}

void CParkModule::LaunchProgram(const wchar_t* execute, const wchar_t* launchParams)
{
    // The stored path is at most one value area long, so its folder always fits.
    wchar_t folder[ValueArea];
    bool hasFolder = WorkingFolderOf(execute, folder, ValueArea);
    // Whether the shell could start it is not reported: Park has nobody to tell.
    ShellExecuteW(nullptr, L"open", execute, launchParams, hasFolder ? folder : nullptr, SW_SHOW);
}
