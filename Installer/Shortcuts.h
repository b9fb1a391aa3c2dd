// The main application's two shortcuts, "Larchmeadow Games.lnk" in the Start menu and on the
// public desktop, written as shell links and then branded by PinHook.
#pragma once

#include <windows.h>

#include <string>

#include "Installer/InstallerMessageTable.h"
#include "Installer/InstallerOptions.h"

namespace Lm {
namespace Installer {

// One link file. Every link of the Installer has icon index 0, show command 0 and no hotkey, and
// no working folder.
class CShortcutSpec {
public:
    std::wstring linkPath;
    std::wstring targetPath;
    std::wstring arguments;
    std::wstring iconPath;
    int iconIndex = 0;
    int showCommand = 0;
    WORD hotkey = 0;
    std::wstring description;

    // Writes the link; an existing file is never overwritten (E_FAIL). Needs COM on the thread.
    // Returns the last HRESULT.
    HRESULT Write() const;
};

// The shortcuts' file name, their arguments before the DP, the tags given to PinHook.
constexpr const wchar_t* kStartMenuLinkArguments = L"/src gamesmenu /dp ";
constexpr const wchar_t* kDesktopLinkArguments = L"/src desktop /dp ";

// PinHook's set-mode arguments, which follow its quoted path: the link, PinHook (the module of
// the link's texts), the icon, each quoted, and the tag (PinHook/PinHookContract.h).
std::wstring PinHookSetArguments(const std::wstring& link, const std::wstring& pinHook, const std::wstring& icon,
                                const wchar_t* tag);

// Writes a Start-menu link (in the start-menu folder or the common Programs folder, as the shared
// settings say) and has PinHook brand it; nothing of it is reported.
void CreateShortcut(const std::wstring& linkFileName, const std::wstring& touchpointFolder,
                    const std::wstring& target, const std::wstring& arguments, const std::wstring& description);

// With option startMenu: the Start-menu link. dp: the DP (a suffix from '!' on is not used).
void CreateStartMenuShortcut(const CInstallerOptions& options, const std::wstring& dp,
                             const InstallerMessageRow& messages);
// With option desktop: the public desktop's link, branded by the signed PinHook; a missing or
// unsigned PinHook throws after the link is written.
void CreateDesktopShortcut(const CInstallerOptions& options, const std::wstring& dp,
                           const InstallerMessageRow& messages);

} // namespace Installer
} // namespace Lm
