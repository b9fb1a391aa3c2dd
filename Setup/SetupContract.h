// The names setup uses towards the programs it starts and the main application. The Installer's
// options and file names setup hands on are in Installer/InstallerContract.h, Park's command
// lines and events in Park/ParkContract.h.
#pragma once

#include <windows.h>

namespace Lm {
namespace Setup {

// Prefix of setup's secure temporary folder T (in the user's temporary folder): written by setup,
// which also removes it; the Installer and Park run from it.
constexpr const wchar_t* kTemporaryFolderPrefix = L"pdtpo";
// Park's file name in T (written by setup from its resource, run by setup, the Installer signals it).
constexpr const wchar_t* kParkFileName = L"Park.exe";
// The Installer's file name in T when setup's own name would clash with Park's or the local patch's.
constexpr const wchar_t* kFallbackInstallerFileName = L"Installer.exe";

// Registry write probe (32-bit view): created, written and deleted again by setup; nobody reads it.
// The touchpoint's uninstall key name with "Temporary" in place of the touchpoint's folder name.
constexpr const wchar_t* kTemporaryUninstallKeySuffix = L"Temporary";

// The main application's launch parameters, handed over by Park: "/src installer /dp <DP>" and,
// when setup's file name carries a download token, " /action download <token>".
constexpr const wchar_t* kLaunchParamsPrefix = L"/src installer /dp ";
constexpr const wchar_t* kDownloadActionPrefix = L" /action download ";
// setup's file name "Setup-<token>-<DP>.exe" carries the token, in one of these three spellings.
constexpr const wchar_t* kDownloadTokenNamePrefixes[] = {L"Setup-", L"setup-", L"SETUP-"};

// Held by every setup from its registry probe to its end (never released before): a setup that
// finds it held, or the Installer's one-instance mutex (Installer/InstallerContract.h), gives way:
// it touches no Park and hands its Installer no Park, whose own one-instance rule then ends it.
constexpr const wchar_t* kSetupMutexName = L"Larchmeadow Games App Setup";
// How long setup waits for another setup or Installer to end before it gives way (as long as the
// Installer waits for its own mutex), and how often it looks.
constexpr DWORD kOtherInstallWaitMs = 2000;
constexpr DWORD kOtherInstallPollMs = 200;

// How often setup looks at Park's events while it waits for them to go or to come.
constexpr DWORD kParkPollMs = 50;
// How long setup waits, after signalling an older Park to quit, until that Park's events are gone
// (a new Park finding them would quit at once).
constexpr DWORD kOldParkGoneTimeoutMs = 10000;
// How long setup waits for the new Park to make its events before it runs the Installer (a signal
// given before would be lost).
constexpr DWORD kParkArmedTimeoutMs = 10000;
// How long setup waits, once the Installer has ended and Park has been signalled, for its Park to
// end, so that T can go with it.
constexpr DWORD kParkEndTimeoutMs = 10000;

} // namespace Setup
} // namespace Lm
