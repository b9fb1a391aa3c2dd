// The names the Uninstall program shares with other programs and with the next logon. Each line
// says who writes a name and who reads it.
#pragma once

#include "CommonAppLogic/InstallContract.h"

namespace Lm {
namespace Uninstaller {

// Command-line options (compared whole). The touchpoint's uninstall entry starts the program
// without any; the program passes "/del" to its own temporary copy. Every other argument is
// ignored.
#define LM_SILENT_OPTION L"/silent"
#define LM_INITIATED_FROM_AN_INSTALLER_OPTION L"/InitiatedFromAnInstaller"
constexpr const wchar_t* kSilentOption = LM_SILENT_OPTION;
constexpr const wchar_t* kInitiatedFromAnInstallerOption = LM_INITIATED_FROM_AN_INSTALLER_OPTION;
constexpr const wchar_t* kDelOption = L"/del";
// The arguments the Installer gives. Its rollback runs a copy of this program with the main
// application's uninstaller's arguments and NSIS's folder variable left unexpanded (only
// "/silent" counts here), adding kInitiatedFromAnInstallerOption when the main application stays.
constexpr const wchar_t* kRollbackArguments = LM_SILENT_OPTION L" /S _?=$INSTDIR";
// Its upgrade of an old touchpoint runs the uninstaller that the main application's entry names
// with these: silent, and the main application stays.
constexpr const wchar_t* kLegacyUpgradeArguments = LM_SILENT_OPTION L" /S " LM_INITIATED_FROM_AN_INSTALLER_OPTION;
#undef LM_SILENT_OPTION
#undef LM_INITIATED_FROM_AN_INSTALLER_OPTION

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
using CommonAppLogic::kMainUninstallerArguments;

// RunOnce (64-bit view): written here for the next logon; the Installer deletes the touchpoint's
// value before it installs again.
constexpr const wchar_t* kRunOnceKey = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const wchar_t* kTouchpointRunOnceValueName = L"{8E2B7C40-5F1A-4D39-B6E8-0A7C3D9F2B64}-larchplay";
// RunOnce command: this text, the folder, then a closing double quote.
constexpr const wchar_t* kRemoveFolderCommandPrefix = L"cmd.exe /c RD /S /Q \"";

} // namespace Uninstaller
} // namespace Lm
