// The hand-off of the main application's download to the Updater: the Installer unpacks the
// Updater it carries, runs it and, once it has started the full installer, waits for the full
// installer's result in "InstallSemaphore_1". When the Updater is offline, a local Patch.exe
// (put beside the Installer by setup) may take its place.
#pragma once

#include <windows.h>

#include <string>

#include "Installer/InstallSequence.h"

namespace Lm {
namespace Installer {

// RT_RCDATA resource of the Installer: the Updater program.
constexpr WORD kUpdaterResource = 103;

// The Updater returns once the package it started has ended, but the package may hand its work to
// processes of its own (or to a service) that report later. The Updater runs in a job, so the
// wait follows everything it started: while any of those processes runs, at most this long after
// the Updater's end, the result is awaited.
constexpr DWORD kPackageTreeBoundMs = 30 * 60 * 1000;
// Once none of them runs (or they cannot be followed: a package started by the install service),
// a result may still be on its way this long; after it, it never comes. Minutes, not seconds: a
// result given up on costs the user the rollback of the touchpoint.
constexpr DWORD kInstallSemaphoreGraceMs = 3 * 60 * 1000;
constexpr DWORD kInstallSemaphorePollMs = 50;

// "/noprog /noparking /emitdownloadprogress /dp=<dp> /installerargs=/nolaunchapp".
std::wstring UpdaterCommandLine(const std::wstring& dp);
// "/park=\"<park>\" /installerargs=/nolaunchapp".
std::wstring LocalPatchCommandLine(const std::wstring& park);

// Deletes "InstallSemaphore_1" of HKLM\Software\Larchmeadow; never throws.
void ClearInstallSemaphore();

// The folder the Installer runs from, without its trailing backslash: where setup puts Patch.exe.
std::wstring GetInstallerFolder();

// The hand-off, unless the "console" option is off, this is a restore run, or the main
// application is installed already (its uninstall entry is valid): then nothing is touched.
void RunUpdaterInstall(CInstallContext& context);

// The hand-off of the run's DP: sets the context's failed flag to false when it runs the Updater,
// and to true (after its box, or its log line on a quiet run) on every failure it reports; other
// failures throw. A result of the full installer that never came sets mainApplicationMayBeInstalled
// too: the rollback then takes back the touchpoint only. Patch.exe is looked for in patchFolder (no trailing backslash). The page, when
// there is one, is closed before the boxes that end the install at once.
void HandOffToUpdater(CInstallContext& context, const std::wstring& patchFolder);

} // namespace Installer
} // namespace Lm
