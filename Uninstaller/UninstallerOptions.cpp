#include "Uninstaller/UninstallerOptions.h"

#include "Uninstaller/UninstallerContract.h"

namespace Lm {
namespace Uninstaller {

CUninstallerOptions ParseUninstallerOptions(int argc, const wchar_t* const* argv)
{
    CUninstallerOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i] ? argv[i] : L"";
        if (argument == kSilentOption)
            options.silent = true;
        else if (argument == kInitiatedFromAnInstallerOption)
            options.initiatedFromAnInstaller = true;
        else if (argument == kDelOption)
            options.del = true;
    }
    return options;
}

} // namespace Uninstaller
} // namespace Lm
