#include "Installer/InstallSequence.h"

#include "CommonAppLogic/InstallUtils.h"
#include "CommonAppLogic/ParkEvents.h"
#include "CommonAppLogic/SecureTemporaryFolder.h"
#include "CommonAppLogic/SharedSettings.h"
#include "CommonAppLogic/SharedSettingsNames.h"
#include "Installer/InstallerContract.h"
#include "Installer/LegacySkus.h"
#include "Installer/OlderInstallations.h"
#include "Installer/PageProtocol.h"
#include "Installer/TouchpointFiles.h"
#include "Installer/UpdaterInstall.h"
#include "Park/ParkContract.h"
#include "System/Exception.h"
#include "System/Io/Directory.h"
#include "System/Io/File.h"
#include "System/Io/FilePath.h"
#include "System/Log.h"
#include "System/RefPtr.h"
#include "System/Win32/RegistryKey.h"
#include "Uninstaller/UninstallerContract.h"

namespace Lm {
namespace Installer {

using Lm::CommonAppLogic::InstallUtils::CSecureTemporaryFolder;
using Lm::CommonAppLogic::InstallUtils::ExecWait;
using Lm::System::CRefPtr;
using Lm::System::IO::CDirectory;
using Lm::System::IO::CFile;
using Lm::System::Win32::CRegistryKey;

namespace {

constexpr int kParkDeleteTries = 5;

void Post(const CInstallContext& context, const wchar_t* command)
{
    if (context.page)
        context.page->PostCommand(command);
}

std::wstring InstalledUninstallerPath()
{
    return GetTouchpointFolderPath() + L"\\" + Lm::Uninstaller::kUninstallFileName;
}

// The licence was agreed: a later run skips the licence page. Into a settings folder that is not
// the administrators' nothing is written (and the page is shown again).
void RecordEulaAgreement()
{
    namespace Names = Lm::CommonAppLogic::SharedSettings;
    Lm::CommonAppLogic::WriteSharedSetting(Names::kMainSection, Names::kDownloadEulaAgreed, Names::kTrue);
}

// A pending removal of the touchpoint folder, left for the next logon by an earlier uninstall,
// would take this installation away again.
void CancelPendingFolderRemoval()
{
    CRegistryKey runOnce(Lm::Uninstaller::kRunOnceKey, false, KEY_WOW64_64KEY);
    // A missing value is fine: nothing was pending.
    RegDeleteValueW(runOnce.GetKey(), Lm::Uninstaller::kTouchpointRunOnceValueName);
}

// Waits, at most the grace time, until no Park holds the events any more: a Park told to start
// the main application must have done so before a terminate signal could overtake it (when both
// events are set the terminate event wins), and a Park that quit no longer runs from its file.
void WaitUntilParkReleased()
{
    Lm::CommonAppLogic::WaitUntilParkEventsGone(kParkReleaseGraceMs);
}

} // namespace

void DoInstall(CInstallContext& context, bool silent)
{
    // Only a window run in which the licence was agreed (full-installer mode shows none).
    if (!silent && !context.fullMode)
        RecordEulaAgreement();

    CDirectory::Create(GetTouchpointFolderPath());
    CancelPendingFolderRemoval();

    context.mainApplicationWasInstalled = IsUninstallEntryValid(kMainAppUninstallKeyName);
    Lm::CommonAppLogic::ExtractResourceToFile(kUninstallResource, InstalledUninstallerPath());
    context.uninstallerLaidDown = true;

    Post(context, kScriptDownloaderStarted);
    RunUpdaterInstall(context);
    Post(context, kScriptDownloaderEnded);
    if (context.failed)
        return;

    Post(context, kScriptProgress90);
    InstallTouchpointFiles(context.options, context.dpShort, context.row, context.languageIndex);
    Post(context, kScriptProgress95);
    RegisterLegacySkus(context.options);
    Post(context, kScriptProgress98);
}

void FinishInstall(CInstallContext& context)
{
    const CInstallerOptions& options = context.options;
    if (options.legacyUninstall && context.fullMode && !context.failed)
        RemoveLegacyConsole();
    if (options.launchConsole && !options.restore && !context.failed && !options.park.empty() &&
        CFile::Exists(options.park)) {
        Lm::CommonAppLogic::RunParkSignal(options.park, Lm::Park::SignalExecuteCommandLine);
        context.executeSignalled = true;
    }
    Post(context, kScriptProgress100);
}

void CleanupInstall(CInstallContext& context)
{
    const CInstallerOptions& options = context.options;
    CRegistryKey::DeleteKeyTree(kInstallerStatusKey);
    if (!options.launchConsole || options.restore)
        return;
    Sleep(kParkSignalPauseMs);
    // The Park that setup armed; nothing to release when there is none (never armed, or gone).
    if (options.park.empty() || !CFile::Exists(options.park))
        return;
    if (context.executeSignalled)
        WaitUntilParkReleased();
    try {
        Lm::CommonAppLogic::RunParkSignal(options.park, Lm::Park::SignalTerminateCommandLine);
        WaitUntilParkReleased();
    } catch (const Lm::System::CException& exception) {
        // A Park that cannot be signalled (unsigned, replaced, unstartable) is not ours to start;
        // the run has ended all the same.
        Lm::System::CLog::WriteLine(L"Installer: Park was not told to quit\n" + exception.ToString());
        return;
    }
    try {
        CFile::DeleteAFile(options.park, kParkDeleteTries);
    } catch (const Lm::System::CException& exception) {
        // Still in use (held by setup, or a Park slow to go): it goes with setup's folder.
        Lm::System::CLog::WriteLine(L"Installer: Park's file is left to its folder's removal\n" + exception.ToString());
    }
}

void RollbackInstall(const CInstallContext& context)
{
    // Nothing of this run to take back: the failure came before the touchpoint was begun, and an
    // older installation's uninstaller is not ours to run.
    const std::wstring installed = InstalledUninstallerPath();
    if (!context.uninstallerLaidDown || !CFile::Exists(installed))
        return;
    std::wstring arguments = Lm::Uninstaller::kRollbackArguments;
    // The main application was there before this run, or the full installer may have laid it down
    // well and only not said so: the rollback keeps it.
    if (context.mainApplicationWasInstalled || context.mainApplicationMayBeInstalled)
        arguments += std::wstring(L" ") + Lm::Uninstaller::kInitiatedFromAnInstallerOption;
    try {
        CRefPtr<CSecureTemporaryFolder> folder(new CSecureTemporaryFolder(kTemporaryFolderPrefix));
        const std::wstring copy = folder->GetPath() + L"\\" + Lm::Uninstaller::kUninstallFileName;
        CFile::Copy(installed, copy, true);
        ExecWait(copy, folder->GetPath(), arguments, 0, true);
    } catch (const Lm::System::CException&) {
        // Best effort: an uninstaller that cannot be copied or fails its signature test leaves the
        // touchpoint in place; the clean-up that follows must still release Park and the status key.
    }
}

} // namespace Installer
} // namespace Lm
