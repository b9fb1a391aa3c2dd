#include "Setup/SetupOptions.h"

#include <wchar.h>

#include "Installer/InstallerContract.h"
#include "Setup/SetupCommandLines.h"

namespace Lm {
namespace Setup {

using namespace Lm::Installer;

CSetupOptions ParseSetupOptions(int argc, const wchar_t* const* argv)
{
    CSetupOptions options;
    const size_t dpPrefixLength = wcslen(kDpOptionPrefix);
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i] ? argv[i] : L"";
        if (argument == kUpdateOption)
            options.update = true;
        else if (argument == kNoLaunchConsoleOption)
            options.launchConsole = false;
        else if (argument == kRestoreOption)
            options.restore = true;
        else if (argument.compare(0, dpPrefixLength, kDpOptionPrefix) == 0)
            options.dp = argument.substr(dpPrefixLength);
        else if (argument == kUseLocalPatchOption)
            options.useLocalPatch = true;

        if (i > 1)
            options.allArgs += L' ';
        options.allArgs += QuoteArgument(argument);
    }
    return options;
}

} // namespace Setup
} // namespace Lm
