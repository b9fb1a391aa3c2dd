// The launch of a tested package under Park: a private copy of Park in the work folder (a Park
// named on the command line only when signed by the maker), started in wait mode so that it can
// start the main application once the package is done, and told to quit on every way out before
// the package has started; the package itself, through the main application's install service
// when the Updater is not elevated and the service is registered, else through the shell, and
// when elevated from a held copy in a secure temporary folder; the package's install percentage
// relayed to the bar while it runs; its exit code.
#pragma once

#include <windows.h>

#include <string>

#include "CommonAppLogic/InstallContract.h"
#include "Updater/PatchDownload.h"
#include "Updater/UpdateObserver.h"

namespace Lm {
namespace Updater {

struct PatchLaunchRequest {
    std::wstring product;
    std::wstring locale;          // "/locale=", or the language the strings chose
    std::wstring installerArgs;   // the text after "/installerargs=", may be empty
    bool parking = true;          // off with "/noparking": Park is copied and named, not started
    std::wstring parkPath;        // "/parkpath=", may be empty
    std::wstring appArgs;         // "/appargs=", may be empty
    std::wstring dp;
    // IsProcessElevated: an elevated Updater never uses the service, and starts the package from
    // a secure temporary folder rather than from the work folder.
    bool elevated = false;
    // Where Park.exe (or PatchTools\Park.exe) is looked for when parkPath is empty: the
    // Updater's own folder, with the final backslash.
    std::wstring programFolder;
    // Where the package writes "Install" while it runs.
    std::wstring statusKey = CommonAppLogic::kInstallerStatusKey;
};

// The package's argument text: /park="<Park copy>"[ <installer arguments>].
std::wstring BuildPatchArguments(const std::wstring& parkCopy, const std::wstring& installerArgs);
// Park's wait-mode command line for the main application at mainApplicationPath, with the launch
// parameters "/noupdate! /userlocale <locale>[ <app args>] /dp <dp>".
std::wstring ParkWaitCommandLine(const std::wstring& mainApplicationPath, const std::wstring& locale,
                                 const std::wstring& appArgs, const std::wstring& dp);
// The folder of a path with its final backslash; a path without one, whole, with one appended.
std::wstring GetPatchFolder(const std::wstring& patchPath);
// The bar while the package runs: min(trunc(p x 0.45 + 0.499) + 55, 100) in single precision.
int InstallBarPosition(float percent);
// "InstallerExitCode" + text.
std::wstring MakeInstallerExitCodeResult(const std::wstring& text);

// Runs the tested package (its hold is let go once it has started) and returns its exit code.
// Throws CExitCodeException 1792 (no Park, or a named one that is not signed), 1793 (no copy),
// 1794 (Park not started), 1280 (CoInitialize) or 1281 (no secure copy, or the package not
// started).
DWORD LaunchPatchUnderPark(const PatchLaunchRequest& request, TestedPackage& package, IUpdateObserver& observer);

} // namespace Updater
} // namespace Lm
