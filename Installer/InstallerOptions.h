// The Installer's command-line options, read once from the argument vector and passed by
// reference to every step.
#pragma once

#include <string>

namespace Lm {
namespace Installer {

class CInstallerOptions {
public:
    // Looks at argv[1] .. argv[argc - 1]; each argument is compared whole and with case, the
    // "/dp=" and "/park=" prefixes with case. Unknown arguments are ignored; a prefix given twice
    // keeps its last value.
    CInstallerOptions(int argc, const wchar_t* const* argv);
    CInstallerOptions() = default;

    bool silent = false;           // "/silent"
    bool S = false;                // "/S"
    bool update = false;           // "/update"
    bool restore = false;          // "/restore": the repair run of Restore.exe
    bool legacyUninstall = true;   // "/nolegacyuninstall" clears
    bool launchConsole = true;     // "/nolaunchconsole" clears
    bool legacySkuValues = true;   // "/nolegacyskuvalues" clears
    bool console = true;           // "/noconsole" clears
    bool useLocalPatch = false;    // "/uselocalpatch"
    bool autoRestore = true;       // "/noautorestore" clears: no shortcuts, entry or protocol handler
    bool startMenu = true;         // "/nostartmenu" clears
    bool desktop = true;           // "/nodesktop" clears
    std::wstring dp;               // "/dp=<code>"
    std::wstring park;             // "/park=<path of the Park program setup prepared>"
};

// A run started with a silent option ("/silent", "/S", "/restore") outside full-installer mode:
// it has no window, and nobody may be there to answer a box, so it shows none.
bool IsQuietRun(const CInstallerOptions& options, bool fullMode);

} // namespace Installer
} // namespace Lm
