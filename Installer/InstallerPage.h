// How the install steps reach the wizard page on the window path. Commands are queued for the
// UI thread, which runs them in order; the steps never touch the window themselves. The silent
// path has no page: the steps receive a null pointer and post nothing.
#pragma once

#include <string>

namespace Lm {
namespace Installer {

class IInstallerPage {
public:
    // Queues a script for the page ("SetProgressPercent( 90 );").
    virtual void PostCommand(const std::wstring& command) = 0;
    // Queues the window's close command.
    virtual void PostClose() = 0;

protected:
    ~IInstallerPage() = default;
};

} // namespace Installer
} // namespace Lm
