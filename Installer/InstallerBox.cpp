#include "Installer/InstallerBox.h"

#include "System/String/StringUtils.h"

namespace Lm {
namespace Installer {

std::wstring UnexpectedErrorText(const InstallerMessageRow& row, InstallerErrorGroup group, DWORD code)
{
    return std::wstring(InstallerMessageText(row, kMessageUnexpectedError)) +
           Lm::System::String::FormatString(L" (Error %d-%u)", static_cast<int>(group), static_cast<unsigned>(code));
}

int ShowInstallerBox(const InstallerMessageRow& row, const std::wstring& text, UINT flags)
{
    return MessageBoxW(nullptr, text.c_str(), InstallerMessageText(row, kMessageCaption), flags);
}

} // namespace Installer
} // namespace Lm
