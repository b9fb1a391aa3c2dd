// The names the Installer shares with other programs (setup, the Updater, Uninstall, the main
// application's full installer). Each line says who writes a name and who reads it.
#pragma once

#include "CommonAppLogic/InstallContract.h"
#include "Uninstaller/UninstallerContract.h"

namespace Lm {
namespace Installer {

// Names shared with setup, the Updater and the main application's installers (CommonAppLogic/InstallContract.h).
using CommonAppLogic::kUninstallKeyRoot;
using CommonAppLogic::kMainAppUninstallKeyName;
using CommonAppLogic::kTouchpointUninstallKeyName;
using CommonAppLogic::kInstallerStatusKey;
using CommonAppLogic::kInstallProgressValue;
using CommonAppLogic::kDownloadProgressValue;
using CommonAppLogic::kLarchmeadowKey;
using CommonAppLogic::kInstallSemaphoreValue;
using CommonAppLogic::kInstallSemaphoreSuccess;
using CommonAppLogic::kInstallSemaphoreFailure;
using CommonAppLogic::kMainAppFolderName;
using CommonAppLogic::kMainAppExeName;
using CommonAppLogic::kGamesFolderName;
using CommonAppLogic::kTouchpointsFolderName;
using CommonAppLogic::kTouchpointFolderName;

// One-instance mutex, created by the Installer; a second Installer waits for it.
constexpr const wchar_t* kInstallerMutexName = L"Larchmeadow Games App Installer";

// Prefix of the Installer's secure temporary folders in the user's temporary folder ("pdtpi-"
// and a GUID): its page files, the Updater it unpacks, the rollback's copy of Uninstall.exe and an
// older edition's uninstaller copy. Made and removed by the Installer; its window loads pages from
// the pages folder only.
constexpr const wchar_t* kTemporaryFolderPrefix = L"pdtpi";

// Touchpoint folder (<Program Files (x86)>\Larchmeadow Games\Touchpoints\larchplay, names in
// CommonAppLogic/InstallContract.h): files the Installer lays down beside Uninstall.exe. The links
// name PinHook.exe and the icon; Restore.exe is the Installer's own copy, run with "/restore".
constexpr const wchar_t* kIconFileName = L"Application.ico";
constexpr const wchar_t* kRestoreFileName = L"Restore.exe";
// The main application's protocol handler (below the main application's folder), run by the
// Installer with "/reg" in restore mode.
constexpr const wchar_t* kProtocolHandlerFolderName = L"BrowserIntegration";
constexpr const wchar_t* kProtocolHandlerFileName = L"lmapp_ProtocolHandler.exe";
constexpr const wchar_t* kProtocolHandlerArguments = L"/reg";

// The touchpoint entry's version: written as "Version" by the Installer; an older touchpoint
// (below kLegacyTouchpointVersion) is removed by the main application's uninstaller first.
constexpr const wchar_t* kInstallerVersion = L"4.1.1.132";
constexpr const wchar_t* kLegacyTouchpointVersion = L"4.0.3.57";
// The main application's master entry (written by its full installer): its REG_SZ
// "TouchpointInstallerSupport" = "1" asks the Installer to hide the touchpoint entry.
constexpr const wchar_t* kMasterUninstallKeyName = L"Larchmeadow larchplay Master Uninstall";
constexpr const wchar_t* kTouchpointInstallerSupportValue = L"TouchpointInstallerSupport";
// "1" in the touchpoint entry once the legacy games below InstalledSKUs have been completed.
constexpr const wchar_t* kLegacySkuValuesSetValue = L"LegacySKUValuesSet";

// Games the main application knows to be installed (32-bit view): one subkey per game, read by
// the main application; older editions created some, the Installer completes them.
constexpr const wchar_t* kInstalledSkusKey = L"HKLM\\Software\\Larchmeadow\\InstalledSKUs";

// Command line of the Installer (each argument compared whole and case-sensitively; the two
// valued options by their prefix). setup passes its own arguments, "/update" in full-installer
// mode and "/park=" with the quoted path of the Park it armed; Restore.exe is started with
// "/restore".
constexpr const wchar_t* kSilentOption = L"/silent";
constexpr const wchar_t* kNsisSilentOption = L"/S";
constexpr const wchar_t* kUpdateOption = L"/update";
constexpr const wchar_t* kRestoreOption = L"/restore";
constexpr const wchar_t* kDpOptionPrefix = L"/dp=";
constexpr const wchar_t* kNoLegacyUninstallOption = L"/nolegacyuninstall";
constexpr const wchar_t* kNoLaunchConsoleOption = L"/nolaunchconsole";
constexpr const wchar_t* kParkOptionPrefix = L"/park=";
constexpr const wchar_t* kNoLegacySkuValuesOption = L"/nolegacyskuvalues";
constexpr const wchar_t* kNoConsoleOption = L"/noconsole";
constexpr const wchar_t* kUseLocalPatchOption = L"/uselocalpatch";
constexpr const wchar_t* kNoAutoRestoreOption = L"/noautorestore";
constexpr const wchar_t* kNoStartMenuOption = L"/nostartmenu";
constexpr const wchar_t* kNoDesktopOption = L"/nodesktop";

// A program file name that selects full-installer mode (compared whole and case-sensitively),
// given by setup to the Installer it unpacks under its own name.
constexpr const wchar_t* kFullInstallerFileName = L"SetupArcadeKit.exe";
// The patch that setup copies beside the Installer when given "/uselocalpatch"; the Installer
// runs it (signature required) when the download is impossible.
constexpr const wchar_t* kLocalPatchFileName = L"Patch.exe";

// What the Installer asks of the full installer (through the Updater's "/installerargs=", or
// given to the local Patch.exe): install, but do not start the main application; the waiting
// Park starts it once the Installer has finished.
constexpr const wchar_t* kFullInstallerArguments = L"/nolaunchapp";

} // namespace Installer
} // namespace Lm
