#include "Setup/RunSetup.h"

#include <windows.h>

#include <string>

#include "CommonAppLogic/DpCode.h"
#include "CommonAppLogic/FileSignature.h"
#include "CommonAppLogic/InstallContract.h"
#include "CommonAppLogic/InstallUtils.h"
#include "CommonAppLogic/ParkEvents.h"
#include "Installer/InstallerContract.h"
#include "Park/ParkContract.h"
#include "Setup/SetupCommandLines.h"
#include "Setup/SetupContract.h"
#include "Setup/SetupOptions.h"
#include "Setup/SetupResource.h"
#include "System/Exception.h"
#include "System/Io/File.h"
#include "System/RefPtr.h"
#include "System/Win32/Handle.h"
#include "System/Win32/KnownFolders.h"
#include "System/Win32/RegistryKey.h"
#include "Uninstaller/UninstallerContract.h"

namespace Lm {
namespace Setup {

namespace {

using Lm::CommonAppLogic::InstallUtils::CSecureTemporaryFolder;
using Lm::CommonAppLogic::InstallUtils::Exec;
using Lm::CommonAppLogic::InstallUtils::ExecWait;
using Lm::CommonAppLogic::InstallUtils::HoldUnpackedProgram;
using Lm::System::CRefPtr;
using Lm::System::Win32::CHandleGuard;

// Park is started only when its signature names the maker, even from T.
constexpr bool kParkRequiresSignature = true;

struct CSetupPaths {
    std::wstring folder;            // T
    std::wstring installer;         // T\<own file name>, or T\Installer.exe
    std::wstring park;              // T\Park.exe
    std::wstring localPatch;        // T\Patch.exe
    std::wstring mainApplication;   // Program Files (x86)\Larchmeadow Games\App\Playdeck-lm.exe
};

CSetupPaths GetSetupPaths(const std::wstring& folder, const std::wstring& ownFileName)
{
    CSetupPaths paths;
    paths.folder = folder;
    paths.installer = folder + L"\\" + InstallerFileName(ownFileName);
    paths.park = folder + L"\\" + kParkFileName;
    paths.localPatch = folder + L"\\" + Lm::Installer::kLocalPatchFileName;
    paths.mainApplication = Lm::System::Win32::GetProgramFilesX86Path() + Lm::CommonAppLogic::kMainAppSubPath;
    return paths;
}

// Step 2: a setup that may not write below HKLM (no administrator rights) ends here, before
// anything is written to disk.
void ProbeRegistryWrite()
{
    const std::wstring path = TemporaryUninstallKeyName();
    Lm::System::Win32::CRegistryKey key(path, false);
    key.SetString(Lm::Uninstaller::kUninstallStringValue,
                  std::wstring(L"\"") + Lm::Uninstaller::kUninstallFileName + L"\"");
    Lm::System::Win32::CRegistryKey::DeleteKeyTree(path);
}

void SignalParkTerminate(const CSetupPaths& paths)
{
    ExecWait(paths.park, paths.folder, Lm::Park::SignalTerminateCommandLine, 0, kParkRequiresSignature);
}

// After the terminate signal an older Park needs a moment to close its events; a new Park that
// still finds them quits at once. Bounded: a Park that never lets go costs this run its launch.
void WaitUntilOlderParkIsGone()
{
    Lm::CommonAppLogic::WaitUntilParkEventsGone(kOldParkGoneTimeoutMs);
}

// A signal given before the new Park has made its events would be lost, and Park would wait on:
// the Installer only starts once they exist, or once that Park has ended (it found older events).
void WaitUntilParkIsArmed(HANDLE park)
{
    const DWORD start = GetTickCount();
    while (!(Lm::CommonAppLogic::NamedEventExists(Lm::Park::EventTerminateName) && Lm::CommonAppLogic::NamedEventExists(Lm::Park::EventExecuteName))) {
        if (GetTickCount() - start >= kParkArmedTimeoutMs || WaitForSingleObject(park, kParkPollMs) != WAIT_TIMEOUT)
            return;
    }
}

// Step 7: an older waiting Park quits, then a new one waits to start the main application once the
// Installer has finished. Returns the new Park's process.
HANDLE ArmPark(const CSetupPaths& paths, const std::wstring& dp, const std::wstring& ownFileName)
{
    SignalParkTerminate(paths);
    WaitUntilOlderParkIsGone();
    const std::wstring launchParams = ConsoleLaunchParams(dp, ownFileName);
    HANDLE park = Exec(paths.park, paths.folder, ParkWaitCommandLine(paths.mainApplication, launchParams), 0,
                       kParkRequiresSignature);
    WaitUntilParkIsArmed(park);
    return park;
}

// Step 8: the copy in T is the file the Installer will find, and nobody but administrators can
// change it there, so that copy is the one whose signature counts.
void CopyLocalPatch(const CSetupPaths& paths)
{
    const std::wstring source = Lm::System::Win32::GetModuleDirectory() + Lm::Installer::kLocalPatchFileName;
    if (!Lm::System::IO::CFile::Exists(source))
        return;
    Lm::System::IO::CFile::Copy(source, paths.localPatch, true);
    if (Lm::System::IO::CFile::Exists(paths.localPatch) && !Lm::CommonAppLogic::VerifyFileSignature(paths.localPatch))
        Lm::System::IO::CFile::DeleteAFile(paths.localPatch, 5);
}

// Step 9. The Installer's own clean-up tells Park to quit after a failure it reports; when it
// could not be started, or ended with a non-zero code (an exception escaped it and skipped that
// clean-up), setup does it, so Park does not wait on.
void RunInstaller(const CSetupPaths& paths, const std::wstring& commandLine, bool parkArmed)
{
    bool signalPark = false;
    try {
        const DWORD exitCode = ExecWait(paths.installer, paths.folder, commandLine, 0, false);
        signalPark = exitCode != 0 && parkArmed;
    } catch (const Lm::System::CException&) {
        signalPark = true;
    }
    if (signalPark)
        SignalParkTerminate(paths);
}

// Once Park has been told to start the application or to quit, it ends within moments; T, which
// holds Park's file and is its current folder, can only go after it.
void WaitForSignalledPark(HANDLE park)
{
    if (park == nullptr)
        return;
    if (Lm::CommonAppLogic::NamedEventIsSet(Lm::Park::EventTerminateName) || Lm::CommonAppLogic::NamedEventIsSet(Lm::Park::EventExecuteName))
        WaitForSingleObject(park, kParkEndTimeoutMs);
}

} // namespace

void RunSetup(int argc, const wchar_t* const* argv)
{
    const CSetupOptions options = ParseSetupOptions(argc, argv);
    ProbeRegistryWrite();

    const std::wstring ownFileName = Lm::System::Win32::GetModuleFileNameOnly();
    const bool fullInstallerMode = IsFullInstallerMode(options, ownFileName);
    const std::wstring dp = Lm::CommonAppLogic::ResolveDpCode(fullInstallerMode, options.dp);

    CRefPtr<CSecureTemporaryFolder> folder(new CSecureTemporaryFolder(kTemporaryFolderPrefix));
    const CSetupPaths paths = GetSetupPaths(folder->GetPath(), ownFileName);
    // Each program is held against writing and deleting from unpacking until it has started.
    Lm::CommonAppLogic::ExtractCabinetResourceToFile(IDR_SETUP_INSTALLER, paths.installer);
    CHandleGuard installerHold = HoldUnpackedProgram(paths.installer);
    Lm::CommonAppLogic::ExtractResourceToFile(IDR_SETUP_PARK, paths.park);
    CHandleGuard parkHold = HoldUnpackedProgram(paths.park);

    CHandleGuard park;
    if (options.launchConsole && !options.restore) {
        park.Reset(ArmPark(paths, dp, ownFileName));
        // The Installer deletes Park's file once it has signalled it.
        parkHold.Reset();
    }

    CHandleGuard patchHold;
    if (options.useLocalPatch) {
        CopyLocalPatch(paths);
        patchHold = Lm::System::IO::CFile::Hold(paths.localPatch);   // none when nothing was copied
    }

    RunInstaller(paths, InstallerCommandLine(options.allArgs, fullInstallerMode, paths.park), park.IsValid());
    installerHold.Reset();
    parkHold.Reset();
    patchHold.Reset();
    WaitForSignalledPark(park.Get());
    park.Reset();

    // Step 10: T goes with its last reference; what cannot be deleted stays behind.
    folder = nullptr;
}

} // namespace Setup
} // namespace Lm
