// The wizard page as the install steps reach it on the window path: their commands go into the
// installer window's queue while a UI thread runs one, and are dropped while there is none.
#pragma once

#include <string>

#include "Installer/InstallerPage.h"

namespace Lm {
namespace Installer {

class CWindowPage : public IInstallerPage {
public:
    void PostCommand(const std::wstring& command) override;
    void PostClose() override;
};

} // namespace Installer
} // namespace Lm
