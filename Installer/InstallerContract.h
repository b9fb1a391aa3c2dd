// The names the Installer shares with other programs (setup, the Updater, Uninstall, the main
// application's full installer). Each line says who writes a name and who reads it.
#pragma once

#include "Uninstaller/UninstallerContract.h"

namespace Lm {
namespace Installer {

// One-instance mutex, created by the Installer; a second Installer waits for it.
constexpr const wchar_t* kInstallerMutexName = L"Larchmeadow Games App Installer";

// Uninstall entries (32-bit view, below HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall):
// the main application's, written by its own full installer; the touchpoint's, written by the
// Installer and removed by Uninstall.
constexpr const wchar_t* kUninstallKeyRoot = L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const wchar_t* kMainAppUninstallKeyName =
    L"{6A1D3F58-2E9C-4b07-A4D3-91C8E5B27F0A}.Larchmeadow Games App";
constexpr const wchar_t* kTouchpointUninstallKeyName =
    L"{3C5E9A12-7B4D-4f21-8E6A-5D2B9C0F4E71}.Larchmeadow Games App-larchplay";

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

// --- What setup hands the Installer (setup writes these, the Installer reads them) -----------
// setup unpacks the Installer under setup's own file name, so both draw the same conclusions from
// it; this name selects full-installer mode (whole name, exact case).
constexpr const wchar_t* kFullInstallerFileName = L"SetupArcadeKit.exe";
// Options of the Installer that setup reads as well (each compared whole and with case; "/dp="
// and "/park=" are prefixes of a value). setup passes all of its own arguments on, adds "/update"
// in full-installer mode and "/park=\"<path of the Park it unpacked>\"".
constexpr const wchar_t* kUpdateOption = L"/update";
constexpr const wchar_t* kNoLaunchConsoleOption = L"/nolaunchconsole";
constexpr const wchar_t* kRestoreOption = L"/restore";
constexpr const wchar_t* kDpOptionPrefix = L"/dp=";
constexpr const wchar_t* kUseLocalPatchOption = L"/uselocalpatch";
constexpr const wchar_t* kParkOptionPrefix = L"/park=";
// With "/uselocalpatch" setup copies a signed "Patch.exe" from its own folder into the Installer's
// folder, where the Installer looks for it.
constexpr const wchar_t* kLocalPatchFileName = L"Patch.exe";
// The main application, below Program Files (x86): laid down by its full installer, started by Park.
constexpr const wchar_t* kMainApplicationRelativePath = L"Larchmeadow Games\\App\\Playdeck-lm.exe";

} // namespace Installer
} // namespace Lm
