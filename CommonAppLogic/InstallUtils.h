// What the installing programs use to run other programs, to unpack their embedded files and
// to compare versions.
#pragma once

#include <windows.h>
#include <string>

#include "CommonAppLogic/SecureTemporaryFolder.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace CommonAppLogic {
namespace InstallUtils {

// Starts "<path>" [arguments] (the arguments as they are) in the working folder (empty: the
// caller's) with the creation flags. With requireSignature the file must pass
// VerifyFileSignature, and it is held open against writing, renaming and deleting from before
// the test until the process has started, so the file that runs is the file that was tested.
// Returns the process handle's owner; throws on every failure. With a job
// object the process is put into it before it runs its first instruction (so is everything it
// starts); when the job refuses it (nested jobs before Windows 8), it runs outside.
Lm::System::Win32::CHandleGuard Exec(const std::wstring& path, const std::wstring& workingFolder, const std::wstring& arguments,
            DWORD creationFlags, bool requireSignature, HANDLE job = nullptr);

// Exec, then waits for the process and returns its exit code unchanged. Without a time limit it
// waits as long as the program runs (a program that a person answers); a program that must end
// on its own is given a limit in ms: when it has not ended by then it is ended and the call
// throws "Process did not end in time".
DWORD ExecWait(const std::wstring& path, const std::wstring& workingFolder, const std::wstring& arguments,
               DWORD creationFlags, bool requireSignature, DWORD timeoutMs = INFINITE, HANDLE job = nullptr);

// Writes the bytes of the running module's RT_RCDATA resource to the file (replaced when it
// exists; its folder is created when missing).
void ExtractResourceToFile(WORD resourceId, const std::wstring& path);

// The same for a resource that is a cabinet of one file (CCabinetExtractor): its file is written
// to the path. Throws as ExtractResourceToFile does, and when the cabinet cannot be unpacked; the
// path then holds no partial file.
void ExtractCabinetResourceToFile(WORD resourceId, const std::wstring& path);

// Holds a program just unpacked against writing, renaming and deleting (CFile::Hold) for as
// long as the guard lives: from unpacking until it has started, the file that runs is the file
// that was unpacked. Throws "Could not hold the unpacked program \"<path>\"" when it cannot be held.
Lm::System::Win32::CHandleGuard HoldUnpackedProgram(const std::wstring& path);

// Splits an uninstall-style command line: a quoted program gives the text between the first two
// double quotes as program and everything after the second as arguments (a leading blank stays).
// With one double quote the program is what follows it, with none the whole text; the arguments
// are then left as they were.
void SplitCommandLine(const std::wstring& text, std::wstring& program, std::wstring& arguments);

// Compares dotted versions part by part as numbers (a missing part counts as 0): -1, 0 or 1.
int CompareVersionStrings(const std::wstring& a, const std::wstring& b);

// A new GUID as 36 lower-case characters without braces.
std::wstring CreateGuidString();

} // namespace InstallUtils

using InstallUtils::CompareVersionStrings;
using InstallUtils::CreateGuidString;
using InstallUtils::ExtractCabinetResourceToFile;
using InstallUtils::ExtractResourceToFile;
using InstallUtils::SplitCommandLine;

} // namespace CommonAppLogic
} // namespace Lm
