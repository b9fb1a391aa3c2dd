// The Installer's command line, read once and handed by reference to every step.
#pragma once

#include <string>

namespace Lm {
namespace Installer {

class CInstallerOptions {
public:
    // Reads argv[1] .. argv[argc - 1] in order (argv[0], the program, is skipped). Each argument
    // is compared whole and case-sensitively; "/dp=" and "/park=" by their prefix, the last one
    // given winning. Any other argument is ignored.
    CInstallerOptions(int argc, const wchar_t* const* argv);

    bool silent = false;          // "/silent"
    bool S = false;               // "/S"
    bool update = false;          // "/update": full-installer mode
    bool restore = false;         // "/restore": the repair run of Restore.exe
    bool legacyUninstall = true;  // "/nolegacyuninstall" clears
    bool launchConsole = true;    // "/nolaunchconsole" clears: no Park signals
    bool legacySkuValues = true;  // "/nolegacyskuvalues" clears
    bool console = true;          // "/noconsole" clears: the main application is not fetched
    bool useLocalPatch = false;   // "/uselocalpatch"
    bool autoRestore = true;      // "/noautorestore" clears: no links, entry or protocol handler
    bool startMenu = true;        // "/nostartmenu" clears
    bool desktop = true;          // "/nodesktop" clears
    std::wstring dp;              // "/dp=<text>"
    std::wstring park;            // "/park=<path>": the Park that setup armed
};

} // namespace Installer
} // namespace Lm
