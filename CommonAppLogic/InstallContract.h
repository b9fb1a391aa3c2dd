// The names of an install that several programs share: setup, the Installer, the Updater,
// Uninstall and the main application's own full installer. Each line says who writes a name and
// who reads it. Plain constants only.
#pragma once

namespace Lm {
namespace CommonAppLogic {

// Folders below Program Files (x86): "Larchmeadow Games" holds the main application's folder
// (written by its own full installer) and the touchpoint folder "Touchpoints\larchplay" (written
// by the Installer, removed by Uninstall; setup and the Installer read both).
#define LM_GAMES_FOLDER L"Larchmeadow Games"
#define LM_MAIN_APP_FOLDER L"App"
#define LM_MAIN_APP_EXE L"Playdeck-lm.exe"
constexpr const wchar_t* kGamesFolderName = LM_GAMES_FOLDER;
constexpr const wchar_t* kTouchpointsFolderName = L"Touchpoints";
constexpr const wchar_t* kTouchpointFolderName = L"larchplay";
// The main application's folder below "Larchmeadow Games" and its program; the links, the
// touchpoint entry, setup's Park and the Updater's Park point at them.
constexpr const wchar_t* kMainAppFolderName = LM_MAIN_APP_FOLDER;
constexpr const wchar_t* kMainAppExeName = LM_MAIN_APP_EXE;
// The same below Program Files (x86), from its "\".
constexpr const wchar_t* kMainAppSubPath = L"\\" LM_GAMES_FOLDER L"\\" LM_MAIN_APP_FOLDER L"\\" LM_MAIN_APP_EXE;
#undef LM_GAMES_FOLDER
#undef LM_MAIN_APP_FOLDER
#undef LM_MAIN_APP_EXE

// Uninstall entries (32-bit view, below HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall):
// the main application's, written by its own full installer and read by the Installer, setup and
// Uninstall; the touchpoint's, written by the Installer and removed by Uninstall.
#define LM_UNINSTALL_ROOT L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
#define LM_MAIN_APP_ENTRY L"{6A1D3F58-2E9C-4b07-A4D3-91C8E5B27F0A}.Larchmeadow Games App"
#define LM_TOUCHPOINT_ENTRY L"{3C5E9A12-7B4D-4f21-8E6A-5D2B9C0F4E71}.Larchmeadow Games App-larchplay"
constexpr const wchar_t* kUninstallKeyRoot = LM_UNINSTALL_ROOT;
constexpr const wchar_t* kMainAppUninstallKeyName = LM_MAIN_APP_ENTRY;
constexpr const wchar_t* kTouchpointUninstallKeyName = LM_TOUCHPOINT_ENTRY;
constexpr const wchar_t* kMainAppUninstallKey = LM_UNINSTALL_ROOT LM_MAIN_APP_ENTRY;
constexpr const wchar_t* kTouchpointUninstallKey = LM_UNINSTALL_ROOT LM_TOUCHPOINT_ENTRY;
#undef LM_UNINSTALL_ROOT
#undef LM_MAIN_APP_ENTRY
#undef LM_TOUCHPOINT_ENTRY

// Arguments of the main application's own uninstaller (the program its entry's "UninstallString"
// names), followed by the application's folder: Uninstall runs it silently ("/silent /S"), in
// place for that folder ("_?=", without a copy of its own in the temporary folder).
constexpr const wchar_t* kMainUninstallerArguments = L"/silent /S _?=";

// Page-progress channel of the window path (32-bit view): the Installer creates the key with both
// values "0" and deletes it at the end of the run; the Updater run with "/emitdownloadprogress"
// writes "Download" (only when it exists); the full installer writes "Install", which the Updater
// and the Installer's page read. Percentages as decimal text.
constexpr const wchar_t* kInstallerStatusKey = L"HKLM\\Software\\Larchmeadow\\InstallerStatus";
constexpr const wchar_t* kInstallProgressValue = L"Install";
constexpr const wchar_t* kDownloadProgressValue = L"Download";

// The full installer's result (32-bit view): it writes "Success" or "Failure" when it ends; the
// Installer deletes the value before it runs the Updater and reads it after the Updater's exit 0.
constexpr const wchar_t* kLarchmeadowKey = L"HKLM\\Software\\Larchmeadow";
constexpr const wchar_t* kInstallSemaphoreValue = L"InstallSemaphore_1";
constexpr const wchar_t* kInstallSemaphoreSuccess = L"Success";
constexpr const wchar_t* kInstallSemaphoreFailure = L"Failure";

} // namespace CommonAppLogic
} // namespace Lm
