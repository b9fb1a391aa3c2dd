// The install steps of one run, called on the main thread by the main flow and by the page's
// events: DoInstall lays the touchpoint down and has the main application fetched and installed;
// FinishInstall lets the waiting Park start the main application; CleanupInstall releases Park and
// the status key at the end of every run; RollbackInstall takes back what a failed run laid down.
#pragma once

#include <windows.h>

#include <string>

#include "Installer/InstallerMessageTable.h"
#include "Installer/InstallerOptions.h"
#include "Installer/InstallerPage.h"

namespace Lm {
namespace Installer {

// RT_RCDATA resource of the Installer: the Uninstall program.
constexpr WORD kUninstallResource = 102;

// What the waiting Park is given to take a signal and end before the next step goes on.
constexpr DWORD kParkSignalPauseMs = 500;
constexpr DWORD kParkReleaseGraceMs = 10000;

// The install context: worked out once by the main flow and handed by reference to every step.
struct CInstallContext {
    CInstallContext(const CInstallerOptions& options, const InstallerMessageRow& row) : options(options), row(row) {}

    const CInstallerOptions& options;
    bool fullMode = false;        // full-installer mode: no licence page, older edition removed
    std::wstring dp;              // the whole DP (the Updater's)
    std::wstring dpShort;         // the DP before its first '!' (links and entries)
    bool quiet = false;           // a silent option outside full-installer mode: no boxes (IsQuietRun)
    bool failed = false;          // a step reported a failure (box or log): roll back at the end
    const InstallerMessageRow& row;
    int languageIndex = 0;
    IInstallerPage* page = nullptr;  // the wizard page on the window path; null on the silent path

    // Set by the steps, read at the end of the run.
    bool uninstallerLaidDown = false;          // this run wrote Uninstall.exe into the touchpoint folder
    bool mainApplicationWasInstalled = false;  // its entry was valid before the hand-off
    // The full installer ran but never told its result: what it laid down may be a good install.
    bool mainApplicationMayBeInstalled = false;
    bool executeSignalled = false;             // FinishInstall told Park to start the main application
};

// silent: the silent path (no licence agreed in a window). Failures of the hand-off set failed
// (their box shown) and end the step early; other failures throw.
void DoInstall(CInstallContext& context, bool silent);
// Removes the older edition after a full-installer run that did not fail, and tells the waiting
// Park to start the main application unless the run failed (rollback would remove it again).
void FinishInstall(CInstallContext& context);
// Deletes the status key, then (unless "/nolaunchconsole" or "/restore") releases the Park that
// setup armed and deletes its file. Never throws: a Park that cannot be signalled (missing,
// unsigned, hung) or deleted is logged and left to the removal of setup's folder.
void CleanupInstall(CInstallContext& context);
// Runs a temporary copy of the Uninstall program that this run laid down; best effort: a missing
// or failing uninstaller is passed over, so that clean-up follows.
void RollbackInstall(const CInstallContext& context);

} // namespace Installer
} // namespace Lm
