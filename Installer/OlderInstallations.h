// Earlier installations the Installer meets: whether an uninstall entry still points at a
// program, the removal of an old touchpoint by the main application's uninstaller, and after a
// full-installer run the repair of the legacy install helper's registration and the removal of
// the compatible older edition.
#pragma once

#include <string>

namespace Lm {
namespace Installer {

// The legacy install helper's COM registration (HKCR, 32-bit view).
constexpr const wchar_t* kLegacyInterfaceKey = L"HKCR\\Interface\\{5B7E2D91-4C3A-4E8F-9D16-A2C4F0B83E57}";
constexpr const wchar_t* kLegacyInterfaceName = L"IInstallDispatcher";
constexpr const wchar_t* kLegacyAppIdKey = L"HKCR\\AppID\\{C19A4F62-7D8E-4B35-8A0C-3E6F2B9D1A74}";
constexpr const wchar_t* kLegacyAppIdName = L"LMInstallHelper";
constexpr const wchar_t* kLegacyLocalService = L"PlaydeckService";
// The name of an older edition's uninstaller copy in its temporary folder.
constexpr const wchar_t* kUninstallerCopyName = L"Uninstall.exe";

// The entry (a key name below the uninstall list) names in "UninstallString" a program that
// exists as a file. Never throws.
bool IsUninstallEntryValid(const std::wstring& uninstallKeyName);

// An old touchpoint (valid entry, no Restore.exe, "Version" below 4.0.3.57) is removed by the
// main application's own uninstaller, while that uninstaller's "UninstallString" is blanked so it
// does not take the application with it; the value is written back afterwards, also when the
// run fails.
void UpgradeLegacyUninstall();

// After a full-installer run: repairs the legacy install helper's AppID when its interface is
// registered, then runs the uninstaller of the compatible older edition (never the main
// application's or the touchpoint's own entry) through RunUninstallerCopy.
void RemoveLegacyConsole();

// Copies the uninstaller into a secure temporary folder and runs the signed copy with the
// argument text (plus "/silent") in the uninstaller's own folder, and waits.
void RunUninstallerCopy(const std::wstring& uninstallerPath, const std::wstring& arguments);

// The argument text with "/silent": unchanged when it holds "/silent" (with case) anywhere,
// otherwise with a blank (when not empty) and "/silent" appended.
std::wstring AddSilentOption(const std::wstring& arguments);

} // namespace Installer
} // namespace Lm
