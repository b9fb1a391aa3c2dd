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

// The Updater returns only after the full installer it started has ended, so the result is due
// when the Updater exits 0. This long a missing result may still be on its way (a slow disk, a
// full installer that hands its last step to a child); after it, it never comes.
constexpr DWORD kInstallSemaphoreGraceMs = 15000;
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
// failures throw. Patch.exe is looked for in patchFolder (no trailing backslash). The page, when
// there is one, is closed before the boxes that end the install at once.
void HandOffToUpdater(CInstallContext& context, const std::wstring& patchFolder);

} // namespace Installer
} // namespace Lm
