// What setup works out from its options and its own file name: the mode, the file name of the
// Installer in T, the main application's launch parameters, and the command lines of Park and
// of the Installer. Text only; nothing here touches the system.
#pragma once

#include <string>

#include "Setup/SetupOptions.h"

namespace Lm {
namespace Setup {

// One argument as a command line carries it, so that the receiving program's parse
// (CommandLineToArgvW, and the C runtime's, which agrees with it here) gives back exactly this
// text: as it is when it holds no blank, tab, line break or double quote and is not empty; else
// in double quotes, with each double quote and the backslashes before it, and the backslashes
// before the closing quote, escaped.
std::wstring QuoteArgument(const std::wstring& argument);

// "/update", or the own file name is "SetupArcadeKit.exe" (whole name, exact case).
bool IsFullInstallerMode(const CSetupOptions& options, const std::wstring& ownFileName);

// The Installer is unpacked under setup's own file name, so it draws the same conclusions from it;
// a name that Park or the local patch take in T (any case) gives "Installer.exe" instead.
std::wstring InstallerFileName(const std::wstring& ownFileName);

// The token of a file name "Setup-<token>-<DP>.exe" ("Setup-", "setup-" or "SETUP-"): the second of
// exactly three non-empty pieces between '-'; empty in every other case.
std::wstring DownloadActionToken(const std::wstring& ownFileName);

// "/src installer /dp <DP>", plus " /action download <token>" when the file name carries a token.
std::wstring ConsoleLaunchParams(const std::wstring& dp, const std::wstring& ownFileName);

// Park in wait mode: start the main application with the launch parameters once the execute event
// is set (Park/ParkContract.h).
std::wstring ParkWaitCommandLine(const std::wstring& mainApplicationPath, const std::wstring& launchParams);

// All of setup's arguments, "/update" in full-installer mode, then "/park=\"<Park's path>\""
// (none when the path is empty: this run armed no Park the Installer may signal); each addition
// after one blank unless the text is still empty.
std::wstring InstallerCommandLine(const std::wstring& allArgs, bool fullInstallerMode, const std::wstring& parkPath);

// The registry path of the write probe: the touchpoint's uninstall key with "-Temporary" in place
// of "-larchplay".
std::wstring TemporaryUninstallKeyName();

} // namespace Setup
} // namespace Lm
