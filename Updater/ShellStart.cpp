#include "Updater/ShellStart.h"

#include <shellapi.h>

#include <utility>

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
    // The handle the mask asked for; closed here when the caller does not want it.
    System::Win32::CHandleGuard started(info.hProcess);
    if (process != nullptr)
        *process = std::move(started);
    return true;
}

} // namespace Updater
} // namespace Lm
