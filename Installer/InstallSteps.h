// The install steps that the page's events start on the main thread. The install sequence
// implements them over its own context (options, DP, the failed flag, message row, language);
// the page protocol (HandleUiEvent) only decides when each one runs.
#pragma once

namespace Lm {
namespace Installer {

class IInstallSteps {
public:
    // Lays the touchpoint down and has the main application installed (window path: silent
    // false); a failure it reports sets the failed flag, anything else throws.
    virtual void DoInstall() = 0;
    // Finishes the run with the value of the failed flag.
    virtual void FinishInstall() = 0;
    // Writes the touchpoint's uninstall entry (short DP, language index).
    virtual void WriteTouchpointUninstallEntry() = 0;

protected:
    ~IInstallSteps() = default;
};

} // namespace Installer
} // namespace Lm
