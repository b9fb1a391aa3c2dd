// The names the Uninstall program shares with other programs and with the next logon. Each line
// says who writes a name and who reads it.
#pragma once

#include "CommonAppLogic/InstallContract.h"

namespace Lm {
namespace Uninstaller {

// Command-line options. The touchpoint's uninstall entry starts the program without any; the
// Installer's rollback passes "/silent /S _?=$INSTDIR", its upgrade of older installations
// "/silent /S /InitiatedFromAnInstaller"; the program passes "/del" to its own temporary copy.
constexpr const wchar_t* kSilentOption = L"/silent";
constexpr const wchar_t* kInitiatedFromAnInstallerOption = L"/InitiatedFromAnInstaller";
constexpr const wchar_t* kDelOption = L"/del";

// Folders below Program Files (x86) and the uninstall entries (CommonAppLogic/InstallContract.h).
using CommonAppLogic::kGamesFolderName;
using CommonAppLogic::kTouchpointsFolderName;
using CommonAppLogic::kTouchpointFolderName;
using CommonAppLogic::kTouchpointUninstallKey;
using CommonAppLogic::kMainAppUninstallKey;
// Files of the touchpoint folder, written by the Installer.
constexpr const wchar_t* kUninstallFileName = L"Uninstall.exe";
constexpr const wchar_t* kPinHookFileName = L"PinHook.exe";
// File name of this program's temporary copy (the "/del" run), written here.
constexpr const wchar_t* kUninstallerCopyFileName = L"Uninstaller.exe";
// Prefixes of the secure temporary folders of the self-copy and of the main application's uninstaller.
constexpr const wchar_t* kSelfCopyFolderPrefix = L"pdtpu";
constexpr const wchar_t* kMainUninstallerFolderPrefix = L"pdtpuninstaller";

// Shortcut settings below ProgramData, written by the Installer's shortcut code, removed here.
constexpr const wchar_t* kShortcutSettingsFolder = L"Larchmeadow\\Shortcuts";
constexpr const wchar_t* kShortcutSettingsFileName = L"Shortcuts.ini";

// Links written by the Installer (Start menu, public desktop) and branded by PinHook.
constexpr const wchar_t* kGamesLinkName = L"Larchmeadow Games.lnk";
constexpr const wchar_t* kTouchpointLinkName = L"Larchmeadow Games App - larchplay.lnk";
constexpr const wchar_t* kStartMenuLaunchLinkPattern = L"Launch *.lnk";
// The older edition's desktop link, on the public desktop.
constexpr const wchar_t* kOlderEditionDesktopLinkName = L"QuollConsole.lnk";

constexpr const wchar_t* kUninstallStringValue = L"UninstallString";
// Arguments given to the main application's uninstaller, followed by its folder.
constexpr const wchar_t* kMainUninstallerArguments = L"/silent /S _?=";

// RunOnce (64-bit view): written here for the next logon; the Installer deletes the touchpoint's
// value before it installs again.
constexpr const wchar_t* kRunOnceKey = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const wchar_t* kTouchpointRunOnceValueName = L"{8E2B7C40-5F1A-4D39-B6E8-0A7C3D9F2B64}-larchplay";
// RunOnce command: this text, the folder, then a closing double quote.
constexpr const wchar_t* kRemoveFolderCommandPrefix = L"cmd.exe /c RD /S /Q \"";

} // namespace Uninstaller
} // namespace Lm
