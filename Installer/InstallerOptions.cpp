#include "Installer/InstallerOptions.h"

namespace Lm {
namespace Installer {

namespace {

bool TakePrefix(const std::wstring& argument, const wchar_t* prefix, std::wstring& value)
{
    const std::wstring text = prefix;
    if (argument.compare(0, text.size(), text) != 0)
        return false;
    value = argument.substr(text.size());
    return true;
}

} // namespace

CInstallerOptions::CInstallerOptions(int argc, const wchar_t* const* argv)
{
    for (int index = 1; index < argc; ++index) {
        if (argv[index] == nullptr)
            continue;
        const std::wstring argument = argv[index];
        if (argument == L"/silent")
            silent = true;
        else if (argument == L"/S")
            S = true;
        else if (argument == L"/update")
            update = true;
        else if (argument == L"/restore")
            restore = true;
        else if (TakePrefix(argument, L"/dp=", dp))
            continue;
        else if (argument == L"/nolegacyuninstall")
            legacyUninstall = false;
        else if (argument == L"/nolaunchconsole")
            launchConsole = false;
        else if (TakePrefix(argument, L"/park=", park))
            continue;
        else if (argument == L"/nolegacyskuvalues")
            legacySkuValues = false;
        else if (argument == L"/noconsole")
            console = false;
        else if (argument == L"/uselocalpatch")
            useLocalPatch = true;
        else if (argument == L"/noautorestore")
            autoRestore = false;
        else if (argument == L"/nostartmenu")
            startMenu = false;
        else if (argument == L"/nodesktop")
            desktop = false;
    }
}

} // namespace Installer
} // namespace Lm
