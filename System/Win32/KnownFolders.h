// The places the suite works in: shell known folders, the maker's folders under ProgramData, the
// running module's own path; a full-access security descriptor for folders the suite creates;
// a desktop refresh after links changed. None of these throws: a failure gives an empty text
// (or a null descriptor).
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>

#include <string>

namespace Lm {
namespace System {
namespace Win32 {

// The folder of the known-folder id for the token (null: the current user); empty on failure.
std::wstring GetKnownFolderPath(REFKNOWNFOLDERID folderId, HANDLE token = nullptr);
std::wstring GetProgramFilesX86Path();
std::wstring GetRoamingAppDataKnownFolder(HANDLE token = nullptr);
std::wstring GetRoamingAppDataPath(HANDLE token = nullptr);
// ProgramData, asked once per process.
std::wstring GetProgramDataPath();
std::wstring GetCommonAppDataPath();
std::wstring GetProgramDataSubPath(const std::wstring& subPath);

// 0 "Larchmeadow", 1 "Larchmeadow\Larchmeadow Games\App", 2 "Larchmeadow\Larchmeadow Games\Integration";
// any other index empty.
std::wstring GetMakerFolderName(int index);
std::wstring GetMakerDataFolder(int index);

// The running executable's full path, its folder (with the trailing backslash) and its file name.
std::wstring GetModulePath();
std::wstring GetModuleDirectory();
std::wstring GetModuleFileNameOnly();

// A self-relative descriptor granting GENERIC_ALL to LocalSystem, Administrators and Everyone,
// inherited by sub-folders and files, with inheritance from the parent blocked; null on failure.
// The caller frees it with LocalFree (CLocalMemory of System/Win32/Handle.h).
PSECURITY_DESCRIPTOR CreateFullAccessSecurityDescriptor();

// Tells the shell that associations changed and presses F5 on the desktop's list view.
void RefreshDesktop();

} // namespace Win32
} // namespace System
} // namespace Lm
