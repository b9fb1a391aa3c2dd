#include "Installer/WindowPage.h"

#include "Installer/InstallerUiThread.h"
#include "Installer/InstallerWindow.h"
#include "System/RefPtr.h"

namespace Lm {
namespace Installer {

namespace {

// The window, while a UI thread runs one.
System::CRefPtr<CInstallerWindow> Window()
{
    return GetInstallerUiThread() ? GetInstallerWindow() : System::CRefPtr<CInstallerWindow>();
}

} // namespace

void CWindowPage::PostCommand(const std::wstring& command)
{
    if (System::CRefPtr<CInstallerWindow> window = Window())
        window->PostCommand(command);
}

void CWindowPage::PostClose()
{
    if (System::CRefPtr<CInstallerWindow> window = Window())
        window->PostClose();
}

} // namespace Installer
} // namespace Lm
