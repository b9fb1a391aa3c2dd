// The names the Uninstall program shares with other programs and with the next logon. Each line
// says who writes a name and who reads it.
#pragma once

namespace Lm {
namespace Uninstaller {

// Command-line options. The touchpoint's uninstall entry starts the program without any; the
// Installer's rollback passes "/silent /S _?=$INSTDIR", its upgrade of older installations
// "/silent /S /InitiatedFromAnInstaller"; the program passes "/del" to its own temporary copy.
constexpr const wchar_t* kSilentOption = L"/silent";
constexpr const wchar_t* kInitiatedFromAnInstallerOption = L"/InitiatedFromAnInstaller";
constexpr const wchar_t* kDelOption = L"/del";

// Folders below Program Files (x86), laid down by the Installer, removed here.
constexpr const wchar_t* kGamesFolderName = L"Larchmeadow Games";
constexpr const wchar_t* kTouchpointsFolderName = L"Touchpoints";
constexpr const wchar_t* kTouchpointFolderName = L"larchplay";
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

// The touchpoint's uninstall entry (32-bit view), written by the Installer.
constexpr const wchar_t* kTouchpointUninstallKey =
    L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    L"{3C5E9A12-7B4D-4f21-8E6A-5D2B9C0F4E71}.Larchmeadow Games App-larchplay";
// The main application's uninstall entry (32-bit view), written by its own installer; read here.
constexpr const wchar_t* kMainApplicationUninstallKey =
    L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    L"{6A1D3F58-2E9C-4b07-A4D3-91C8E5B27F0A}.Larchmeadow Games App";
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
