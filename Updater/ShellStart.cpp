#include "Updater/ShellStart.h"

#include <shellapi.h>

namespace Lm {
namespace Updater {

bool ShellStart(const std::wstring& file, const std::wstring& parameters, const std::wstring& folder, ULONG mask,
                System::Win32::CHandleGuard* process)
{
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = mask;
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info))
        return false;
    if (process != nullptr)
        process->Reset(info.hProcess);
    else if (info.hProcess != nullptr)
        CloseHandle(info.hProcess);   // asked for by the mask but not wanted here
    return true;
}

} // namespace Updater
} // namespace Lm
