#include "Installer/WindowSteps.h"

#include "Installer/TouchpointFiles.h"

namespace Lm {
namespace Installer {

void CWindowSteps::DoInstall()
{
    Lm::Installer::DoInstall(m_context, false);
}

void CWindowSteps::FinishInstall()
{
    Lm::Installer::FinishInstall(m_context);
}

void CWindowSteps::WriteTouchpointUninstallEntry()
{
    Lm::Installer::WriteTouchpointUninstallEntry(m_context.dpShort, m_context.languageIndex);
}

} // namespace Installer
} // namespace Lm
