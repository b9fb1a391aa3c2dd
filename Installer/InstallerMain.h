// The Installer's main flow: language, Windows version, options, full-installer mode, DP, the
// one-instance rule, older installations, then the silent path or the window path, and at the
// end rollback and clean-up.
#pragma once

#include <windows.h>

#include "Installer/InstallerMessageTable.h"

namespace Lm {
namespace Installer {

// Tries between two attempts at the one-instance mutex, and how many: about 2 s for a plain run,
// about 10 s for a restore run, which so waits for an Installer that is just ending.
constexpr DWORD kInstallerMutexRetryMs = 200;
constexpr int kInstallerMutexTries = 10;
constexpr int kInstallerMutexRestoreTries = 50;

// Takes "Larchmeadow Games App Installer" for the life of the process (the handle is never
// closed). When another process holds it after the last try: message [2] (none with restore, only
// the log on a quiet run) and false.
bool AcquireInstallerMutex(const InstallerMessageRow& row, bool restore, bool quiet = false);

// The whole run, from the process's arguments; returns the exit code. Failures that a step
// reports, and exceptions of the install on either path, end in a box (on a quiet run in the log
// alone) and a rollback of what the run laid down; a quiet run that failed so returns 1, every
// other run that got so far 0. An exception that leaves it before the install (older
// installations, the DP, the window's preparation) means exit code 1 without rollback or clean-up.
int InstallerMain();

} // namespace Installer
} // namespace Lm
