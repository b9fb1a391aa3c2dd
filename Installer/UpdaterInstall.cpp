#include "Installer/UpdaterInstall.h"

#include "CommonAppLogic/InstallUtils.h"
#include "CommonAppLogic/SecureTemporaryFolder.h"
#include "Installer/InstallerBox.h"
#include "Installer/InstallerContract.h"
#include "Installer/OlderInstallations.h"
#include "System/Exception.h"
#include "System/Io/File.h"
#include "System/RefPtr.h"
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

constexpr const wchar_t* kTemporaryFolderPrefix = L"pdtpi";
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

// After the Updater's exit 0: waits for "Success" or "Failure", at most the grace time.
void WaitForFullInstaller(bool& failed, const InstallerMessageRow& row)
{
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const std::wstring result = ReadInstallSemaphore();
        if (result == kInstallSemaphoreSuccess)
            return;   // the caller clears the value
        if (result == kInstallSemaphoreFailure || GetTickCount64() - start >= kInstallSemaphoreGraceMs) {
            ShowInstallerBox(row, UnexpectedErrorText(row, kErrorFullInstaller, 1), kErrorBoxFlags);
            failed = true;
            return;
        }
        Sleep(kInstallSemaphorePollMs);
    }
}

// The Updater could not fetch the package (offline), or the caller asked for the local patch.
void RunLocalPatch(const CInstallerOptions& options, bool& failed, const InstallerMessageRow& row,
                   const std::wstring& patchFolder, IInstallerPage* page)
{
    const std::wstring patch = patchFolder + L"\\" + kLocalPatchFileName;
    if (options.useLocalPatch && CFile::Exists(patch)) {
        const DWORD code = ExecWait(patch, patchFolder, LocalPatchCommandLine(options.park), 0, true);
        if (code != 0) {
            ShowInstallerBox(row, UnexpectedErrorText(row, kErrorLocalPatchExit, code), kErrorBoxFlags);
            failed = true;
        }
        return;
    }
    if (page)
        page->PostClose();
    ShowInstallerBox(row, InstallerMessageText(row, kMessageDownloadFailed), kErrorBoxFlags);
    failed = true;
}

} // namespace

std::wstring UpdaterCommandLine(const std::wstring& dp)
{
    using namespace Lm::Updater;
    // The DP goes unquoted: it is a safe DP code (letters, digits and "_-.!").
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

void RunUpdaterInstall(const CInstallerOptions& options, const std::wstring& dp, bool& failed,
                       const InstallerMessageRow& row, IInstallerPage* page)
{
    if (!options.console || options.restore || IsUninstallEntryValid(kMainAppUninstallKeyName))
        return;
    HandOffToUpdater(options, dp, failed, row, GetInstallerFolder(), page);
}

void HandOffToUpdater(const CInstallerOptions& options, const std::wstring& dp, bool& failed,
                      const InstallerMessageRow& row, const std::wstring& patchFolder, IInstallerPage* page)
{
    failed = false;
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
    const DWORD code = ExecWait(updater, folder->GetPath(), UpdaterCommandLine(dp), 0, false);
    if (code == Lm::Updater::Success) {
        WaitForFullInstaller(failed, row);
    } else if (code == Lm::Updater::SuccessMainOffline || code == Lm::Updater::FailureMainOffline ||
               options.useLocalPatch) {
        RunLocalPatch(options, failed, row, patchFolder, page);
    } else {
        if (page)
            page->PostClose();
        ShowInstallerBox(row, UnexpectedErrorText(row, kErrorUpdaterExit, code), kErrorBoxFlags);
        failed = true;
    }
    ClearInstallSemaphore();
}

} // namespace Installer
} // namespace Lm
