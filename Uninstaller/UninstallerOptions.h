// The Uninstall program's command line. Every argument is compared whole and case-sensitively;
// any other argument (the Installer's rollback passes "/S" and "_?=...") is ignored.
#pragma once

#include <string>
#include <vector>

namespace Lm {
namespace Uninstaller {

struct CUninstallerOptions {
    bool silent = false;                    // "/silent": no message boxes
    bool initiatedFromAnInstaller = false;  // "/InitiatedFromAnInstaller": keep the main application
    bool del = false;                       // "/del": the temporary copy that deletes the touchpoint folder
};

// Reads the options from argv[1] .. argv[argc - 1].
CUninstallerOptions ParseUninstallerOptions(int argc, const wchar_t* const* argv);

} // namespace Uninstaller
} // namespace Lm
