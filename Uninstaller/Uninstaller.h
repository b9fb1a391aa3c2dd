// The steps of the Uninstall program. The flow that calls them is in WinMain.cpp.
#pragma once

#include <string>

#include "CommonAppLogic/SecureTemporaryFolder.h"
#include "System/RefPtr.h"

namespace Lm {
namespace Uninstaller {

// The touchpoint's places below Program Files (x86). All empty when that known folder cannot be
// found: no path is ever built on an empty folder (it would point at the current drive's root).
struct CTouchpointPaths {
    std::wstring gamesFolder;        // ...\Larchmeadow Games
    std::wstring touchpointsFolder;  // ...\Larchmeadow Games\Touchpoints
    std::wstring touchpointFolder;   // ...\Larchmeadow Games\Touchpoints\larchplay
    std::wstring pinHook;            // ...\larchplay\PinHook.exe
};
CTouchpointPaths GetTouchpointPaths();

// Shortcut settings file, links and the touchpoint folder (all but the running Uninstall.exe).
// The uninstall entry stays until the run's last step: a run that fails on the way leaves it, and
// with it Uninstall.exe, so that the user can run the removal again.
void RemoveShortcutsAndRegistration(const CTouchpointPaths& paths);
// When the link exists: PinHook takes its branding off (signature required; a PinHook that has
// not ended within a generous limit is ended and the run fails), then it is deleted. Returns
// whether it existed.
bool UnpinAndDeleteShortcut(const CTouchpointPaths& paths, const std::wstring& link);
void RemoveQuickLaunchShortcut(const CTouchpointPaths& paths);
void RemoveDesktopShortcuts(const CTouchpointPaths& paths);
void RemoveStartMenuShortcuts(const CTouchpointPaths& paths);
void DeleteTouchpointUninstallKey();

// The older edition's link on the public desktop.
void DeleteOlderEditionDesktopLink();
// True when the touchpoints folder holds any entry other than "larchplay".
bool IsAnotherTouchpointInstalled(const CTouchpointPaths& paths);
// Runs a copy of the main application's own uninstaller (signature required) and waits for it,
// as long as the person answering it takes; nothing when its uninstall entry names no existing
// program. A copy that cannot be made throws.
void RunMainApplicationUninstaller();

// This program's copy in a private temporary folder, which deletes the installed program.
struct CSelfCopy {
    Lm::System::CRefPtr<Lm::CommonAppLogic::InstallUtils::CSecureTemporaryFolder> folder;
    std::wstring path;
};
// Makes the copy (before the finished box, so that a copy that fails is reported as the run's
// failure before the user is told that all went); throws when it cannot be made.
CSelfCopy CopySelfToTemporaryFolder();
// Starts the copy with "/del", without waiting, and lets go of its folder, which the copy removes.
void ParentDeleteOriginalExe(CSelfCopy& selfCopy);
// Whether this program runs from a folder that CopySelfToTemporaryFolder makes ("pdtpu-<GUID>"
// directly in the temporary folder). The "/del" run deletes its own folder: anywhere else it
// would delete a folder of the user's (a download folder, a drive's root).
bool RunsFromOwnSelfCopyFolder();
// The copy's deletion of a folder: the file first (10 tries), then the folder; when the folder
// is still there and a value name is given, a RunOnce command removes it at the next logon.
void DeleteFileAndFolder(const std::wstring& folder, const std::wstring& fileName, const std::wstring& valueName);
// RunOnce command that removes this copy's own folder at the next logon.
void ScheduleOwnFolderRemoval();

} // namespace Uninstaller
} // namespace Lm
