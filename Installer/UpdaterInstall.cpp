#include "Installer/UpdaterInstall.h"

#include "CommonAppLogic/InstallUtils.h"
#include "CommonAppLogic/SecureTemporaryFolder.h"
#include "Installer/InstallerBox.h"
#include "Installer/InstallerContract.h"
#include "Installer/OlderInstallations.h"
#include "System/Exception.h"
#include "System/Io/File.h"
#include "System/Log.h"
#include "System/RefPtr.h"
#include "System/Win32/DebuggingSwitches.h"
#include "System/Win32/Handle.h"
#include "System/Win32/KnownFolders.h"
#include "System/Win32/RegistryKey.h"
#include "Updater/UpdaterContract.h"
#include "Updater/UpdaterResult.h"

namespace Lm {
namespace Installer {

using Lm::CommonAppLogic::InstallUtils::CSecureTemporaryFolder;
using Lm::CommonAppLogic::InstallUtils::ExecWait;
using Lm::CommonAppLogic::InstallUtils::HoldUnpackedProgram;
using Lm::System::Win32::CHandleGuard;
using Lm::System::CRefPtr;
using Lm::System::IO::CFile;
using Lm::System::Win32::CRegistryKey;

namespace {

constexpr const wchar_t* kUpdaterFileName = L"\\Updater.exe";
constexpr const wchar_t* kParkCopyFileName = L"\\Park.exe";

// The full installer's result, or empty while there is none (the key may not exist yet).
std::wstring ReadInstallSemaphore()
{
    try {
        CRegistryKey key(kLarchmeadowKey, true);
        return key.GetString(kInstallSemaphoreValue, L"");
    } catch (const Lm::System::CException&) {
        return std::wstring();
    }
}

// A failure of the hand-off: the box (or, on a quiet run, the log line), and the failed flag.
void Fail(CInstallContext& context, const std::wstring& text)
{
    ReportToUser(context.quiet, context.row, text, kErrorBoxFlags);
    context.failed = true;
}

// A job for the Updater and all it starts; empty when none can be made (the wait then follows
// the grace time alone). Processes in it may leave it when they ask to: it must not break a
// package that starts its own helpers so.
CHandleGuard MakeUpdaterJob()
{
    CHandleGuard job(CreateJobObjectW(nullptr, nullptr));
    if (job.IsValid()) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
        SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));
    }
    return job;
}

// Whether a process of the job (the package, or what it handed its work to) still runs.
bool JobHasProcesses(HANDLE job)
{
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    return job != nullptr &&
           QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof(accounting),
                                     nullptr) &&
           accounting.ActiveProcesses > 0;
}

// After the Updater's exit 0: waits for "Success" or "Failure" while the processes it started run
// (at most the tree's bound), then at most the grace time.
void WaitForFullInstaller(CInstallContext& context, HANDLE job)
{
    using Lm::System::Win32::ReadTestBoundMs;
    const DWORD treeBound = ReadTestBoundMs(Lm::System::Win32::kPackageTreeBoundTestValue, kPackageTreeBoundMs);
    const DWORD grace = ReadTestBoundMs(Lm::System::Win32::kInstallSemaphoreGraceTestValue, kInstallSemaphoreGraceMs);
    const ULONGLONG start = GetTickCount64();
    ULONGLONG lastRunning = start;
    for (;;) {
        const std::wstring result = ReadInstallSemaphore();
        if (result == kInstallSemaphoreSuccess)
            return;   // the caller clears the value
        if (result == kInstallSemaphoreFailure) {
            Fail(context, UnexpectedErrorText(context.row, kErrorFullInstaller, 1));
            return;
        }
        const ULONGLONG now = GetTickCount64();
        if (now - start < treeBound && JobHasProcesses(job)) {
            lastRunning = now;
        } else if (now - lastRunning >= grace) {
            Lm::System::CLog::WriteLine(L"Installer: the full installer never told its result; the main "
                                        L"application it may have installed is kept");
            context.mainApplicationMayBeInstalled = true;
            Fail(context, UnexpectedErrorText(context.row, kErrorFullInstaller, 1));
            return;
        }
        Sleep(kInstallSemaphorePollMs);
    }
}

// The Updater could not fetch the package (offline), or the caller asked for the local patch.
void RunLocalPatch(CInstallContext& context, const std::wstring& patchFolder)
{
    const CInstallerOptions& options = context.options;
    const std::wstring patch = patchFolder + L"\\" + kLocalPatchFileName;
    if (options.useLocalPatch && CFile::Exists(patch)) {
        const DWORD code = ExecWait(patch, patchFolder, LocalPatchCommandLine(options.park), 0, true);
        if (code != 0)
            Fail(context, UnexpectedErrorText(context.row, kErrorLocalPatchExit, code));
        return;
    }
    if (context.page)
        context.page->PostClose();
    Fail(context, InstallerMessageText(context.row, kMessageDownloadFailed));
}

} // namespace

std::wstring UpdaterCommandLine(const std::wstring& dp)
{
    using namespace Lm::Updater;
    // The DP goes unquoted: it is a safe DP code (letters, digits and "_.!").
    return std::wstring(kNoProgressOption) + L" " + kNoParkingOption + L" " + kEmitDownloadProgressOption + L" " +
           kDpOption + dp + L" " + kInstallerArgsOption + kFullInstallerArguments;
}

std::wstring LocalPatchCommandLine(const std::wstring& park)
{
    return std::wstring(Lm::Updater::kParkArgumentPrefix) + park + L"\" " + Lm::Updater::kInstallerArgsOption +
           kFullInstallerArguments;
}

void ClearInstallSemaphore()
{
    CRegistryKey::DeleteValue(kLarchmeadowKey, kInstallSemaphoreValue);
}

std::wstring GetInstallerFolder()
{
    std::wstring folder = Lm::System::Win32::GetModuleDirectory();
    if (!folder.empty())
        folder.pop_back();
    return folder;
}

void RunUpdaterInstall(CInstallContext& context)
{
    const CInstallerOptions& options = context.options;
    if (!options.console || options.restore || IsUninstallEntryValid(kMainAppUninstallKeyName))
        return;
    HandOffToUpdater(context, GetInstallerFolder());
}

void HandOffToUpdater(CInstallContext& context, const std::wstring& patchFolder)
{
    const CInstallerOptions& options = context.options;
    context.failed = false;
    // Holds the Updater and the Park copy; deleted with them when this function is left, also
    // by an exception.
    CRefPtr<CSecureTemporaryFolder> folder(new CSecureTemporaryFolder(kTemporaryFolderPrefix));
    const std::wstring updater = folder->GetPath() + kUpdaterFileName;
    Lm::CommonAppLogic::ExtractResourceToFile(kUpdaterResource, updater);
    // Held against writing and deleting until the Updater has ended, with the Park it copies.
    const CHandleGuard updaterHold = HoldUnpackedProgram(updater);
    // An empty or wrong "/park=" leaves no copy; the Updater is run with "/noparking" anyway.
    const std::wstring parkCopy = folder->GetPath() + kParkCopyFileName;
    CFile::Copy(options.park, parkCopy, true);
    const CHandleGuard parkHold = CFile::Hold(parkCopy);

    // A result left by an earlier run must not end this run's wait.
    ClearInstallSemaphore();
    const CHandleGuard job = MakeUpdaterJob();
    const DWORD code = ExecWait(updater, folder->GetPath(), UpdaterCommandLine(context.dp), 0, false, INFINITE, job.Get());
    if (code == Lm::Updater::Success) {
        WaitForFullInstaller(context, job.Get());
    } else if (code == Lm::Updater::SuccessMainOffline || code == Lm::Updater::FailureMainOffline ||
               options.useLocalPatch) {
        RunLocalPatch(context, patchFolder);
    } else {
        if (context.page)
            context.page->PostClose();
        Fail(context, UnexpectedErrorText(context.row, kErrorUpdaterExit, code));
    }
    ClearInstallSemaphore();
}

} // namespace Installer
} // namespace Lm
