// setup's command line. Every argument is compared whole and with case; the first test that
// matches decides. Every argument, known or not, is also passed on to the Installer.
#pragma once

#include <string>

namespace Lm {
namespace Setup {

struct CSetupOptions {
    bool update = false;          // "/update": full-installer mode
    bool launchConsole = true;    // "/nolaunchconsole": Park is not armed
    bool restore = false;         // "/restore": Park is not armed
    bool useLocalPatch = false;   // "/uselocalpatch": a signed Patch.exe beside setup goes to the Installer
    std::wstring dp;              // "/dp=<text>": the DP option (the last one counts; may be empty)
    // Every argument in the given order, each quoted as a command line carries it (QuoteArgument),
    // joined by one blank: the Installer gets exactly the arguments setup was given, a lone
    // double quote or a blank inside one included.
    std::wstring allArgs;
};

// Reads the options from argv[1] .. argv[argc - 1].
CSetupOptions ParseSetupOptions(int argc, const wchar_t* const* argv);

} // namespace Setup
} // namespace Lm
