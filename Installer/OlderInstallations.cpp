#include "Installer/OlderInstallations.h"

#include "CommonAppLogic/DpCode.h"
#include "CommonAppLogic/InstallUtils.h"
#include "Installer/InstallerContract.h"
#include "Installer/RegistryText.h"
#include "Installer/TouchpointFiles.h"
#include "System/Exception.h"
#include "System/Io/File.h"
#include "System/Io/FilePath.h"
#include "System/RefPtr.h"
#include "System/Win32/KnownFolders.h"
#include "System/Win32/RegistryKey.h"

namespace Lm {
namespace Installer {

using CommonAppLogic::InstallUtils::CSecureTemporaryFolder;
using CommonAppLogic::InstallUtils::ExecWait;
using CommonAppLogic::SplitCommandLine;
using System::CException;
using System::IO::CFile;
using System::IO::GetParentFolder;
using System::Win32::CRegistryKey;

bool IsUninstallEntryValid(const std::wstring& uninstallKeyName)
{
    try {
        CRegistryKey entry(kUninstallKeyRoot + uninstallKeyName, true);
        const std::wstring command = entry.GetString(Uninstaller::kUninstallStringValue, L"");
        if (command.empty())
            return false;
        std::wstring program, arguments;
        SplitCommandLine(command, program, arguments);
        return CFile::Exists(program);
    } catch (const CException&) {
        return false;
    }
}

void UpgradeLegacyUninstall()
{
    if (!IsUninstallEntryValid(kTouchpointUninstallKeyName))
        return;
    if (CFile::Exists(GetTouchpointFolderPath() + L"\\" + kRestoreFileName))
        return;
    // A "Version" that is missing, or not text, counts as old.
    const std::wstring version = ReadTextOrEmpty(GetTouchpointUninstallKeyPath(), L"Version");
    if (CommonAppLogic::CompareVersionStrings(version, kLegacyTouchpointVersion) >= 0)
        return;

    // Opened for writing only when it exists: creating it would leave an empty entry of the main
    // application behind, which Uninstall and the next Installer would take for an installation.
    const std::wstring mainEntryPath = GetMainAppUninstallKeyPath();
    if (!CRegistryKey::KeyExists(mainEntryPath))
        return;
    CRegistryKey mainEntry(mainEntryPath, false);
    const std::wstring saved = ReadTextOrEmpty(mainEntry, Uninstaller::kUninstallStringValue);
    if (saved.empty())
        return;
    mainEntry.SetString(Uninstaller::kUninstallStringValue, L"");

    std::wstring program, ignoredArguments;
    SplitCommandLine(saved, program, ignoredArguments);
    try {
        ExecWait(program, GetParentFolder(program), Uninstaller::kLegacyUpgradeArguments, 0, true);
    } catch (...) {
        // Without its "UninstallString" the main application could never be uninstalled again.
        try {
            mainEntry.SetString(Uninstaller::kUninstallStringValue, saved);
        } catch (const CException&) {
            // The run's own failure is the one to report.
        }
        throw;
    }
    mainEntry.SetString(Uninstaller::kUninstallStringValue, saved);
}

namespace {

void RepairLegacyInstallHelper()
{
    try {
        CRegistryKey interfaceKey(kLegacyInterfaceKey, true);
        if (interfaceKey.GetString(L"", L"") != kLegacyInterfaceName)
            return;
        CRegistryKey appId(kLegacyAppIdKey, false);
        appId.SetString(L"", kLegacyAppIdName);
        appId.SetString(L"LocalService", kLegacyLocalService);
    } catch (const CException&) {
        // A repair of another product's registration: its failure must not stop the install.
    }
}

} // namespace

void RemoveLegacyConsole()
{
    RepairLegacyInstallHelper();

    // Right after a full install the application just installed fits too: its own uninstaller
    // would take it away again.
    const std::wstring name =
        CommonAppLogic::FindCompatibleConsoleEntry({kMainAppUninstallKeyName, kTouchpointUninstallKeyName});
    if (name.empty())
        return;
    CRegistryKey entry(kUninstallKeyRoot + name, true);
    for (const wchar_t* valueName : {L"LMIntegratedUninstall", L"UninstallString", L"InstallLocation"}) {
        const std::wstring command = ReadTextOrEmpty(entry, valueName);
        if (command.empty())
            continue;
        std::wstring program, arguments;
        SplitCommandLine(command, program, arguments);
        if (!CFile::Exists(program))
            continue;
        RunUninstallerCopy(program, arguments);
        System::Win32::RefreshDesktop();
        return;
    }
}

std::wstring AddSilentOption(const std::wstring& arguments)
{
    if (arguments.find(Uninstaller::kSilentOption) != std::wstring::npos)
        return arguments;
    return arguments.empty() ? std::wstring(Uninstaller::kSilentOption)
                             : arguments + L" " + Uninstaller::kSilentOption;
}

void RunUninstallerCopy(const std::wstring& uninstallerPath, const std::wstring& arguments)
{
    System::CRefPtr<CSecureTemporaryFolder> folder(new CSecureTemporaryFolder(kTemporaryFolderPrefix));
    const std::wstring copy = folder->GetPath() + L"\\" + kUninstallerCopyName;
    CFile::Copy(uninstallerPath, copy, true);
    // The copy runs: it lies in a folder only administrators can change, and the uninstaller
    // can remove its own folder while it runs. It runs where the uninstaller lies.
    ExecWait(copy, GetParentFolder(uninstallerPath), AddSilentOption(arguments), 0, true);
}

} // namespace Installer
} // namespace Lm
