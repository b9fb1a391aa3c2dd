// The steps of the Uninstall program. The flow that calls them is in WinMain.cpp.
#pragma once

#include <string>

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

// Shortcut settings file, links, the touchpoint's uninstall entry and its folder (all but the
// running Uninstall.exe).
void RemoveShortcutsAndRegistration(const CTouchpointPaths& paths);
// When the link exists: PinHook takes its branding off (signature required), then it is deleted.
// Returns whether it existed.
bool UnpinAndDeleteShortcut(const CTouchpointPaths& paths, const std::wstring& link);
void RemoveQuickLaunchShortcut(const CTouchpointPaths& paths);
void RemoveDesktopShortcuts(const CTouchpointPaths& paths);
void RemoveStartMenuShortcuts(const CTouchpointPaths& paths);
void DeleteTouchpointUninstallKey();

// The older edition's link on the public desktop.
void DeleteOlderEditionDesktopLink();
// True when the touchpoints folder holds any entry other than "larchplay".
bool IsAnotherTouchpointInstalled(const CTouchpointPaths& paths);
// Runs a copy of the main application's own uninstaller (signature required) and waits for it;
// nothing when its uninstall entry names no existing program.
void RunMainApplicationUninstaller();

// Copies this program to a private temporary folder and starts the copy with "/del", without waiting.
void ParentDeleteOriginalExe();
// The copy's deletion of a folder: the file first (10 tries), then the folder; when the folder
// is still there and a value name is given, a RunOnce command removes it at the next logon.
void DeleteFileAndFolder(const std::wstring& folder, const std::wstring& fileName, const std::wstring& valueName);
// RunOnce command that removes this copy's own folder at the next logon.
void ScheduleOwnFolderRemoval();

} // namespace Uninstaller
} // namespace Lm
