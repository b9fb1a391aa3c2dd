// Starting a program through the shell as the launch does it: no window of its own, no verb, no
// error boxes, and the start finished before the call returns.
#pragma once

#include <windows.h>

#include <string>

#include "System/Win32/Handle.h"

namespace Lm {
namespace Updater {

// SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI; with SEE_MASK_NOCLOSEPROCESS where the process is waited on.
constexpr ULONG kShellStartMask = 0x500;
constexpr ULONG kShellStartWithProcessMask = 0x540;

// ShellExecuteExW of file with the parameters in folder, shown normally. False when the shell
// could not start it. process, when given, receives the process handle (none when the shell
// handed the file on without one).
bool ShellStart(const std::wstring& file, const std::wstring& parameters, const std::wstring& folder, ULONG mask,
                System::Win32::CHandleGuard* process = nullptr);

} // namespace Updater
} // namespace Lm
