#include "Uninstaller/Uninstaller.h"

#include "CommonAppLogic/InstallUtils.h"
#include "CommonAppLogic/SecureTemporaryFolder.h"
#include "CommonAppLogic/SharedSettings.h"
#include "PinHook/PinHookContract.h"
#include "System/Exception.h"
#include "System/Io/Directory.h"
#include "System/Io/File.h"
#include "System/Io/FilePath.h"
#include "System/RefPtr.h"
#include "System/String/StringUtils.h"
#include "System/Win32/DebuggingSwitches.h"
#include "System/Win32/Handle.h"
#include "System/Win32/KnownFolders.h"
#include "System/Win32/RegistryKey.h"
#include "Uninstaller/UninstallerContract.h"

#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>

#include <vector>

namespace Lm {
namespace Uninstaller {

using Lm::CommonAppLogic::InstallUtils::CSecureTemporaryFolder;
using Lm::System::IO::CDirectory;
using Lm::System::IO::CFile;
using Lm::System::IO::CFilePath;
using Lm::System::Win32::CRegistryKey;

namespace {

constexpr const char* kSourcePath = "Uninstaller\\Uninstaller.cpp";
constexpr DWORD kSelfDeleteTries = 10;

// base + "\" + name, or empty when the base folder is unknown.
std::wstring InFolder(const std::wstring& folder, const std::wstring& name)
{
    if (folder.empty())
        return std::wstring();
    return folder + L"\\" + name;
}

std::wstring KnownFolder(REFKNOWNFOLDERID id)
{
    return Lm::System::Win32::GetKnownFolderPath(id, nullptr);
}

void WriteRunOnceValue(const std::wstring& valueName, const std::wstring& command)
{
    CRegistryKey runOnce(kRunOnceKey, false, KEY_WOW64_64KEY);
    runOnce.SetString(valueName, command);
}

std::wstring RemoveFolderCommand(const std::wstring& folder)
{
    return kRemoveFolderCommandPrefix + folder + L"\"";
}

// A copy that the run goes on to start must be there: a failed copy is the run's failure.
void CopyOrThrow(const std::wstring& source, const std::wstring& target, const char* function)
{
    if (!CopyFileW(source.c_str(), target.c_str(), TRUE))
        Lm::System::ThrowException(L"CopyFileW failed copying \"" + source + L"\" to \"" + target + L"\"", kSourcePath,
                                   184, function);
}

} // namespace

CTouchpointPaths GetTouchpointPaths()
{
    CTouchpointPaths paths;
    paths.gamesFolder = InFolder(Lm::System::Win32::GetProgramFilesX86Path(), kGamesFolderName);
    paths.touchpointsFolder = InFolder(paths.gamesFolder, kTouchpointsFolderName);
    paths.touchpointFolder = InFolder(paths.touchpointsFolder, kTouchpointFolderName);
    paths.pinHook = InFolder(paths.touchpointFolder, kPinHookFileName);
    return paths;
}

bool UnpinAndDeleteShortcut(const CTouchpointPaths& paths, const std::wstring& link)
{
    if (link.empty() || !CFile::Exists(link))
        return false;
    // A hung PinHook must not hold the removal for ever.
    Lm::CommonAppLogic::InstallUtils::ExecWait(
        paths.pinHook, paths.touchpointFolder, L"\"" + link + L"\"", 0, true,
        Lm::System::Win32::ReadTestBoundMs(Lm::System::Win32::kPinHookTimeoutTestValue, Lm::PinHook::kPinHookTimeoutMs));
    DeleteFileW(link.c_str());
    return true;
}

void RemoveQuickLaunchShortcut(const CTouchpointPaths& paths)
{
    // Wine, and Windows editions without a Quick Launch bar, have no such folder: nothing to remove.
    UnpinAndDeleteShortcut(paths, InFolder(KnownFolder(FOLDERID_QuickLaunch), kTouchpointLinkName));
}

void RemoveDesktopShortcuts(const CTouchpointPaths& paths)
{
    const std::wstring desktop = KnownFolder(FOLDERID_PublicDesktop);
    if (desktop.empty())
        return;
    const bool touchpointLink = UnpinAndDeleteShortcut(paths, InFolder(desktop, kTouchpointLinkName));
    const bool gamesLink = UnpinAndDeleteShortcut(paths, InFolder(desktop, kGamesLinkName));
    if (touchpointLink || gamesLink)
        Lm::System::Win32::RefreshDesktop();
}

void RemoveStartMenuShortcuts(const CTouchpointPaths& paths)
{
    const std::wstring startMenuFolder = Lm::CommonAppLogic::GetStartMenuFolderPath();
    // A start-menu folder that is gone holds nothing to remove; it must not stop the removal
    // of the uninstall entry and the touchpoint folder, or every later try would stop here too.
    if (!startMenuFolder.empty() && CDirectory::Exists(startMenuFolder)) {
        for (const std::wstring& launchLink : CDirectory::GetFiles(startMenuFolder, kStartMenuLaunchLinkPattern))
            DeleteFileW(launchLink.c_str());
    }

    const std::wstring linkFolder = Lm::CommonAppLogic::IsShortcutInStartMenuFolder()
                                        ? startMenuFolder
                                        : KnownFolder(FOLDERID_CommonPrograms);
    if (!linkFolder.empty()) {
        UnpinAndDeleteShortcut(paths, InFolder(linkFolder, kGamesLinkName));
        UnpinAndDeleteShortcut(paths, InFolder(linkFolder, kTouchpointLinkName));
    }
    // Gives the shell time to take the removed links off the Start menu.
    Sleep(2000);
}

void DeleteTouchpointUninstallKey()
{
    CRegistryKey::DeleteKeyTree(kTouchpointUninstallKey);
}

void RemoveShortcutsAndRegistration(const CTouchpointPaths& paths)
{
    const std::wstring settingsFolder = Lm::System::Win32::GetProgramDataPath().empty()
                                            ? std::wstring()
                                            : Lm::System::Win32::GetProgramDataSubPath(kShortcutSettingsFolder);
    if (!settingsFolder.empty()) {
        DeleteFileW(InFolder(settingsFolder, kShortcutSettingsFileName).c_str());
        RemoveDirectoryW(settingsFolder.c_str());
    }
    RemoveQuickLaunchShortcut(paths);
    RemoveDesktopShortcuts(paths);
    RemoveStartMenuShortcuts(paths);
    if (!paths.touchpointFolder.empty())
        CDirectory::Delete(paths.touchpointFolder, true);
}

void DeleteOlderEditionDesktopLink()
{
    const std::wstring link = InFolder(KnownFolder(FOLDERID_PublicDesktop), kOlderEditionDesktopLinkName);
    if (!link.empty())
        DeleteFileW(link.c_str());
}

bool IsAnotherTouchpointInstalled(const CTouchpointPaths& paths)
{
    if (paths.touchpointsFolder.empty() || !CDirectory::Exists(paths.touchpointsFolder))
        return false;
    for (const std::wstring& name : CDirectory::GetFilesAndDirectories(paths.touchpointsFolder, L"*")) {
        if (name != kTouchpointFolderName)
            return true;
    }
    return false;
}

void RunMainApplicationUninstaller()
{
    // Read-only: a missing entry is not created (an empty key would stay behind).
    if (!CRegistryKey::KeyExists(kMainAppUninstallKey, 0))
        return;
    std::wstring uninstallString;
    {
        CRegistryKey entry(kMainAppUninstallKey, true, 0);
        uninstallString = entry.GetString(kUninstallStringValue, L"");
    }
    if (uninstallString.empty())
        return;

    std::wstring program, arguments;
    Lm::CommonAppLogic::InstallUtils::SplitCommandLine(uninstallString, program, arguments);
    if (!CFile::Exists(program))
        return;

    const std::wstring folder = Lm::System::IO::GetParentFolder(program);
    CSecureTemporaryFolder temporary(kMainUninstallerFolderPrefix);
    const std::wstring copy = temporary.GetPath() + L"\\" + kUninstallFileName;
    CopyOrThrow(program, copy, "Lm::Uninstaller::RunMainApplicationUninstaller");
    // Its exit code says nothing we could act on: the removal goes on either way.
    Lm::CommonAppLogic::InstallUtils::ExecWait(copy, temporary.GetPath(), kMainUninstallerArguments + folder, 0, true);
}

CSelfCopy CopySelfToTemporaryFolder()
{
    CSelfCopy selfCopy;
    selfCopy.folder = new CSecureTemporaryFolder(kSelfCopyFolderPrefix);
    selfCopy.path = selfCopy.folder->GetPath() + L"//" + kUninstallerCopyFileName;
    CopyOrThrow(Lm::System::Win32::GetModulePath(), selfCopy.path, "Lm::Uninstaller::CopySelfToTemporaryFolder");
    return selfCopy;
}

void ParentDeleteOriginalExe(CSelfCopy& selfCopy)
{
    std::wstring commandLine = L"\"" + selfCopy.path + L"\" " + kDelOption;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEOFFFEEDBACK;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                        selfCopy.folder->GetPath().c_str(), &startup, &process))
        Lm::System::ThrowException("CreateProcessW failed", kSourcePath, 312,
                                   "Lm::Uninstaller::ParentDeleteOriginalExe");
    Lm::System::Win32::CHandleGuard processHandle(process.hProcess);
    Lm::System::Win32::CHandleGuard threadHandle(process.hThread);
    // The folder object goes now; it cannot delete the running copy, which removes it itself.
    selfCopy.folder = nullptr;
}

bool RunsFromOwnSelfCopyFolder()
{
    const std::wstring folder = Lm::System::Win32::GetModuleDirectory();
    return !folder.empty() && CSecureTemporaryFolder::IsNamedAsMadeWith(kSelfCopyFolderPrefix, folder);
}

void DeleteFileAndFolder(const std::wstring& folder, const std::wstring& fileName, const std::wstring& valueName)
{
    if (folder.empty())
        return;
    const std::wstring path = folder + L"\\" + fileName;
    if (CFile::Exists(path)) {
        try {
            CFile::DeleteAFile(path, kSelfDeleteTries);
        } catch (const Lm::System::CException&) {
            // The parent may still be running for a moment; what stays goes at the next logon.
        }
    }
    CDirectory::Delete(folder, false);
    if (!valueName.empty() && CDirectory::Exists(folder))
        WriteRunOnceValue(valueName, RemoveFolderCommand(folder));
}

void ScheduleOwnFolderRemoval()
{
    const std::wstring valueName = L"{" + Lm::System::String::ToUpper(Lm::CommonAppLogic::InstallUtils::CreateGuidString()) + L"}";
    std::wstring folder = Lm::System::Win32::GetModuleDirectory();
    if (!folder.empty())
        folder.pop_back();
    if (!folder.empty())
        WriteRunOnceValue(valueName, RemoveFolderCommand(folder));
}

} // namespace Uninstaller
} // namespace Lm
