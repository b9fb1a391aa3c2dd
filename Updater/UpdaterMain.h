// The Updater's one main flow: command line, log, developer settings, strings and reporter, then
// the guarded run (single instance, update events, clean-up, progress window, online test, update
// check, prompt or notice, download and tests, launch under Park) that ends with a result code.
#pragma once

#include <string>

#include "Updater/RunObjects.h"   // the kernel-object names of a run
#include "Updater/UpdaterOptions.h"

namespace Lm {
namespace Updater {

// The whole run for the process's own command line; the result is the process exit code.
int RunUpdater();
// The same for given options (the main flow after the command line).
int RunUpdater(UpdaterOptions options);

// The log file: <roaming application data>\Larchmeadow\Larchmeadow Games\App\Update\<product>_Update.log.
std::wstring GetUpdaterLogPath(const std::wstring& product);

// The analytics text of the package's exit code: "Succeeded", "DbgTerminateProcess" or
// "InstallerExitCode<unsigned decimal>".
std::wstring PackageExitCodeResult(unsigned long exitCode);

} // namespace Updater
} // namespace Lm
