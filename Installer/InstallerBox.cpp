#include "Installer/InstallerBox.h"

#include "System/Log.h"
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

void ReportToUser(bool quiet, const InstallerMessageRow& row, const std::wstring& text, UINT flags)
{
    Lm::System::CLog::WriteLine(std::wstring(L"Installer: ") + (quiet ? L"" : L"box: ") + text);
    if (!quiet)
        ShowInstallerBox(row, text, flags);
}

} // namespace Installer
} // namespace Lm
