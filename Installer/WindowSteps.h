// The install steps that the page's events start on the window path, over the run's context.
#pragma once

#include "Installer/InstallSequence.h"
#include "Installer/InstallSteps.h"

namespace Lm {
namespace Installer {

class CWindowSteps : public IInstallSteps {
public:
    // The context outlives the steps.
    explicit CWindowSteps(CInstallContext& context) : m_context(context) {}

    void DoInstall() override;
    void FinishInstall() override;
    void WriteTouchpointUninstallEntry() override;

private:
    CInstallContext& m_context;
};

} // namespace Installer
} // namespace Lm
