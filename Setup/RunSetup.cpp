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
#include "System/Log.h"
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
    Lm::CommonAppLogic::RunParkSignal(paths.park, Lm::Park::SignalTerminateCommandLine);
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
CHandleGuard ArmPark(const CSetupPaths& paths, const std::wstring& dp, const std::wstring& ownFileName)
{
    SignalParkTerminate(paths);
    WaitUntilOlderParkIsGone();
    const std::wstring launchParams = ConsoleLaunchParams(dp, ownFileName);
    CHandleGuard park = Exec(paths.park, paths.folder, ParkWaitCommandLine(paths.mainApplication, launchParams), 0,
                             kParkRequiresSignature);
    WaitUntilParkIsArmed(park.Get());
    return park;
}

// Step 8, before Park is armed: a copy in T is the file the Installer will find, and nobody but
// administrators can change it there, so that copy is the one whose signature counts. It is tested
// under another name and takes the Installer's name only once it passed, so an unsigned one never
// lies there. A failed copy is not reported: the run goes on without it (the log says why).
void CopyLocalPatch(const CSetupPaths& paths)
{
    using Lm::System::CLog;
    const std::wstring source = Lm::System::Win32::GetModuleDirectory() + Lm::Installer::kLocalPatchFileName;
    if (!Lm::System::IO::CFile::Exists(source))
        return;
    const std::wstring unchecked = paths.localPatch + L".unchecked";
    if (!CopyFileW(source.c_str(), unchecked.c_str(), FALSE)) {
        CLog::WriteLine(L"setup: the local patch could not be copied (error " + std::to_wstring(GetLastError()) + L")");
        return;
    }
    if (!Lm::CommonAppLogic::VerifyFileSignature(unchecked)) {
        CLog::WriteLine(L"setup: the local patch is not signed by the maker; it is not used");
    } else if (!MoveFileExW(unchecked.c_str(), paths.localPatch.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        CLog::WriteLine(L"setup: the local patch could not be put in place (error " + std::to_wstring(GetLastError()) + L")");
    } else {
        return;
    }
    // What stays goes with T; it never has the name the Installer looks for.
    SetFileAttributesW(unchecked.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(unchecked.c_str());
}

// Whether an Installer runs: its one-instance mutex exists (one we may not open counts too).
bool InstallerRuns()
{
    CHandleGuard mutex(OpenMutexW(SYNCHRONIZE, FALSE, Lm::Installer::kInstallerMutexName));
    return mutex.IsValid() || GetLastError() != ERROR_FILE_NOT_FOUND;
}

// Takes setup's one-instance mutex, or returns an empty guard when another setup holds it.
CHandleGuard TakeSetupMutex()
{
    CHandleGuard mutex(CreateMutexW(nullptr, TRUE, kSetupMutexName));
    if (mutex.IsValid() && GetLastError() == ERROR_ALREADY_EXISTS)
        mutex.Reset();
    return mutex;
}

// Whether this run may arm Park: it holds setup's mutex and no Installer runs, now or within the
// time another one takes to end. A run that must give way finds out here, before it touches the
// Park of the run it gives way to.
bool NoOtherInstallRuns(CHandleGuard& setupMutex)
{
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        if (!setupMutex.IsValid())
            setupMutex = TakeSetupMutex();
        if (setupMutex.IsValid() && !InstallerRuns())
            return true;
        if (GetTickCount64() - start >= kOtherInstallWaitMs)
            return false;
        Sleep(kOtherInstallPollMs);
    }
}

// Step 9. Its exit code does not change setup's; one that could not be started or waited for is
// logged, and the run goes on to release Park.
void RunInstaller(const CSetupPaths& paths, const std::wstring& commandLine)
{
    try {
        ExecWait(paths.installer, paths.folder, commandLine, 0, false);
    } catch (const Lm::System::CException& exception) {
        Lm::System::CLog::WriteLine(L"setup: the Installer did not run\n" + exception.ToString());
    }
}

// The Installer tells Park to start the application or to quit before it ends. A Park of this run
// that still waits untold afterwards (the Installer could not start, an exception ended it, it
// gave way, or it never learnt of Park) would wait for ever: setup tells it to quit. Only its own
// Park: while that one runs, the events are its.
void ReleaseParkLeftWaiting(const CSetupPaths& paths, HANDLE park)
{
    if (park == nullptr || WaitForSingleObject(park, 0) != WAIT_TIMEOUT)
        return;
    if (Lm::CommonAppLogic::NamedEventIsSet(Lm::Park::EventTerminateName) ||
        Lm::CommonAppLogic::NamedEventIsSet(Lm::Park::EventExecuteName))
        return;
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
    // Held for the whole run, so that a setup started meanwhile gives way to this one.
    CHandleGuard setupMutex = TakeSetupMutex();

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

    CHandleGuard patchHold;
    if (options.useLocalPatch) {
        CopyLocalPatch(paths);
        patchHold = Lm::System::IO::CFile::Hold(paths.localPatch);   // none when nothing was copied
    }

    CHandleGuard park;
    const bool wantsPark = options.launchConsole && !options.restore;
    const bool givesWay = wantsPark && !NoOtherInstallRuns(setupMutex);
    if (wantsPark && !givesWay) {
        park = ArmPark(paths, dp, ownFileName);
        // The Installer deletes Park's file once it has signalled it.
        parkHold.Reset();
    }

    // A run that gives way names no Park: its Installer must not signal the other run's.
    RunInstaller(paths, InstallerCommandLine(options.allArgs, fullInstallerMode, givesWay ? L"" : paths.park));
    installerHold.Reset();
    parkHold.Reset();
    patchHold.Reset();
    ReleaseParkLeftWaiting(paths, park.Get());
    WaitForSignalledPark(park.Get());
    park.Reset();

    // Step 10: T goes with its last reference; what cannot be deleted stays behind.
    folder = nullptr;
}

} // namespace Setup
} // namespace Lm
