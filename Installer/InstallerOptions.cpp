#include "Installer/InstallerOptions.h"

#include "Installer/InstallerContract.h"

#include <cwchar>

namespace Lm {
namespace Installer {

namespace {

bool TakePrefixed(const std::wstring& argument, const wchar_t* prefix, std::wstring& value)
{
    const size_t length = wcslen(prefix);
    if (argument.compare(0, length, prefix) != 0)
        return false;
    value = argument.substr(length);
    return true;
}

} // namespace

CInstallerOptions::CInstallerOptions(int argc, const wchar_t* const* argv)
{
    // The order of the tests is the order of the fields; the first match decides.
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i] ? argv[i] : L"";
        if (argument == kSilentOption)
            silent = true;
        else if (argument == kNsisSilentOption)
            S = true;
        else if (argument == kUpdateOption)
            update = true;
        else if (argument == kRestoreOption)
            restore = true;
        else if (TakePrefixed(argument, kDpOptionPrefix, dp))
            continue;
        else if (argument == kNoLegacyUninstallOption)
            legacyUninstall = false;
        else if (argument == kNoLaunchConsoleOption)
            launchConsole = false;
        else if (TakePrefixed(argument, kParkOptionPrefix, park))
            continue;
        else if (argument == kNoLegacySkuValuesOption)
            legacySkuValues = false;
        else if (argument == kNoConsoleOption)
            console = false;
        else if (argument == kUseLocalPatchOption)
            useLocalPatch = true;
        else if (argument == kNoAutoRestoreOption)
            autoRestore = false;
        else if (argument == kNoStartMenuOption)
            startMenu = false;
        else if (argument == kNoDesktopOption)
            desktop = false;
    }
}

bool IsQuietRun(const CInstallerOptions& options, bool fullMode)
{
    return !fullMode && (options.silent || options.S || options.restore);
}

} // namespace Installer
} // namespace Lm
