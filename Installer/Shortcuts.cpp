#include "Installer/Shortcuts.h"

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include "CommonAppLogic/DpCode.h"
#include "CommonAppLogic/InstallUtils.h"
#include "CommonAppLogic/SharedSettings.h"
#include "Installer/InstallerContract.h"
#include "Installer/TouchpointFiles.h"
#include "PinHook/PinHookContract.h"
#include "System/Exception.h"
#include "System/Io/AdministratorsOwned.h"
#include "System/Io/Directory.h"
#include "System/Io/File.h"
#include "System/Log.h"
#include "System/Win32/COMInitializer.h"
#include "System/Win32/DebuggingSwitches.h"
#include "System/Win32/Handle.h"
#include "System/Win32/KnownFolders.h"

namespace Lm {
namespace Installer {

using System::Win32::CComPtrT;

HRESULT CShortcutSpec::Write() const
{
    if (::PathFileExistsW(linkPath.c_str()))
        return E_FAIL;
    CComPtrT<IShellLinkW> link;
    HRESULT result = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                        reinterpret_cast<void**>(link.Receive()));
    if (FAILED(result))
        return result;
    result = link->SetPath(targetPath.c_str());
    if (SUCCEEDED(result))
        result = link->SetArguments(arguments.c_str());
    if (SUCCEEDED(result))
        result = link->SetIconLocation(iconPath.c_str(), iconIndex);
    if (SUCCEEDED(result))
        result = link->SetShowCmd(showCommand);
    if (SUCCEEDED(result))
        result = link->SetHotkey(hotkey);
    if (SUCCEEDED(result))
        result = link->SetDescription(description.c_str());
    if (FAILED(result))
        return result;
    CComPtrT<IPersistFile> file;
    result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Receive()));
    if (SUCCEEDED(result))
        result = file->Save(linkPath.c_str(), TRUE);
    return result;
}

std::wstring PinHookSetArguments(const std::wstring& link, const std::wstring& pinHook, const std::wstring& icon,
                                const wchar_t* tag)
{
    return L"\"" + link + L"\" \"" + pinHook + L"\" \"" + icon + L"\" " + tag;
}

namespace {

// The Start-menu folder serves both sides: SYSTEM and Administrators may do everything, users may
// read it and add files, and each file belongs to whoever made it (CREATOR OWNER), so a program
// running with a user's rights can put its own links there while nobody else can change or
// replace the suite's. Users can make no folders in it. Protected: nothing of the Programs
// folder's list is merged in.
constexpr const wchar_t* kStartMenuFolderAccessList =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)(A;;0x2;;;BU)(A;OIIO;FA;;;CO)";

std::wstring MainAppTarget()
{
    return GetMainAppFolderPath() + L"\\" + kMainAppExeName;
}

// How long a PinHook run may take (a test run may shorten it).
DWORD PinHookTimeoutMs()
{
    return System::Win32::ReadTestBoundMs(System::Win32::kPinHookTimeoutTestValue, PinHook::kPinHookTimeoutMs);
}

// PinHook on the Start-menu link, from the touchpoint folder (which only administrators can
// change), without the signature test; a PinHook that cannot start leaves the link unbranded,
// and one that does not end within its bound is ended and leaves it so too.
void RunPinHookUnchecked(const std::wstring& pinHook, const std::wstring& arguments, const std::wstring& folder)
{
    try {
        CommonAppLogic::InstallUtils::ExecWait(pinHook, folder, arguments, 0, false, PinHookTimeoutMs());
    } catch (const System::CException& exception) {
        // The link is there and works; only its branding is missing, which nobody is asked about.
        System::CLog::WriteLine(L"Installer: the Start-menu link stays unbranded\n" + exception.ToString());
    }
}

} // namespace

void CreateShortcut(const std::wstring& linkFileName, const std::wstring& touchpointFolder,
                    const std::wstring& target, const std::wstring& arguments, const std::wstring& description)
{
    const std::wstring commonPrograms = System::Win32::GetKnownFolderPath(FOLDERID_CommonPrograms);
    const std::wstring startMenuFolder = CommonAppLogic::GetStartMenuFolderPath();
    // The folder is made whichever folder receives the link.
    if (!startMenuFolder.empty() && !System::IO::CDirectory::Exists(startMenuFolder))
        System::IO::CreateFolderWithAccessList(startMenuFolder, kStartMenuFolderAccessList);
    const std::wstring folder = CommonAppLogic::IsShortcutInStartMenuFolder() ? startMenuFolder : commonPrograms;
    if (folder.empty())
        return;   // no Start menu known to the shell: there is nothing to write into
    // Never through a junction or link: the link and PinHook's writing would land elsewhere.
    if (!System::IO::IsPlainEntry(folder))
        return;
    const std::wstring linkPath = folder + L"\\" + linkFileName;
    // Users may add files here: one of the link's name that is a link itself, or another name of
    // some other file, is not written through; it goes, and the suite's own link takes its place.
    if (System::IO::CFile::Exists(linkPath) && !System::IO::IsPlainEntry(linkPath))
        ::DeleteFileW(linkPath.c_str());
    const std::wstring icon = touchpointFolder + L"\\" + kIconFileName;

    CShortcutSpec shortcut;
    shortcut.linkPath = linkPath;
    shortcut.targetPath = target;
    shortcut.arguments = arguments;
    shortcut.iconPath = icon;
    shortcut.description = description;
    {
        System::Win32::CCOMInitializer com;
        shortcut.Write();   // an existing link stays as it is and is branded again below
    }
    const std::wstring pinHook = touchpointFolder + L"\\" + Uninstaller::kPinHookFileName;
    RunPinHookUnchecked(pinHook, PinHookSetArguments(linkPath, pinHook, icon, PinHook::kStartMenuTag), touchpointFolder);
}

void CreateStartMenuShortcut(const CInstallerOptions& options, const std::wstring& dp,
                             const InstallerMessageRow& messages)
{
    if (!options.startMenu)
        return;
    CreateShortcut(Uninstaller::kGamesLinkName, GetTouchpointFolderPath(), MainAppTarget(),
                   kStartMenuLinkArguments + CommonAppLogic::GetShortDpCode(dp),
                   InstallerMessageText(messages, kMessageTagline));
}

void CreateDesktopShortcut(const CInstallerOptions& options, const std::wstring& dp,
                           const InstallerMessageRow& messages)
{
    if (!options.desktop)
        return;
    const std::wstring desktop = System::Win32::GetKnownFolderPath(FOLDERID_PublicDesktop);
    if (desktop.empty())
        return;   // no public desktop known to the shell: there is nothing to write into
    const std::wstring touchpoint = GetTouchpointFolderPath();
    const std::wstring linkPath = desktop + L"\\" + Uninstaller::kGamesLinkName;
    const std::wstring pinHook = touchpoint + L"\\" + Uninstaller::kPinHookFileName;

    CShortcutSpec shortcut;
    shortcut.linkPath = linkPath;
    shortcut.targetPath = MainAppTarget();
    shortcut.arguments = kDesktopLinkArguments + CommonAppLogic::GetShortDpCode(dp);
    shortcut.iconPath = touchpoint + L"\\" + kIconFileName;
    shortcut.description = InstallerMessageText(messages, kMessageTagline);
    {
        System::Win32::CCOMInitializer com;
        shortcut.Write();   // an existing link stays as it is and is branded again below
    }
    // The public desktop is a place a user could change: PinHook runs only when it is signed.
    CommonAppLogic::InstallUtils::ExecWait(pinHook, touchpoint,
                                           PinHookSetArguments(linkPath, pinHook, shortcut.iconPath, PinHook::kDesktopTag),
                                           0, true, PinHookTimeoutMs());
    ::SetFileAttributesW(linkPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    System::Win32::RefreshDesktop();
}

} // namespace Installer
} // namespace Lm
