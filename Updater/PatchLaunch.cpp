#include "Updater/PatchLaunch.h"

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "CommonAppLogic/FileSignature.h"
#include "CommonAppLogic/InstallUtils.h"
#include "Park/ParkContract.h"
#include "System/Exception.h"
#include "System/Io/File.h"
#include "System/Net/Sha256.h"
#include "System/String/StringUtils.h"
#include "System/Win32/Handle.h"
#include "System/Win32/KnownFolders.h"
#include "System/Win32/RegistryKey.h"
#include "System/Win32/SystemInfo.h"
#include "Updater/ArmedPark.h"
#include "Updater/Bstr.h"
#include "Updater/ElevatedPackageCopy.h"
#include "Updater/ExitCodeException.h"
#include "Updater/ShellStart.h"
#include "Updater/SinglePrecision.h"
#include "Updater/UpdaterContract.h"
#include "Updater/UpdaterResult.h"

namespace Lm {
namespace Updater {

using System::Win32::CHandleGuard;

namespace {

const DWORD kWaitStepMs = 200;

// Park to copy: the named one, or the one beside the Updater, or the one in its PatchTools.
std::wstring FindPark(const PatchLaunchRequest& request, IUpdateObserver& observer)
{
    if (!request.parkPath.empty()) {
        if (System::IO::CFile::Exists(request.parkPath))
            return request.parkPath;
        observer.ReportResult(kSpecifiedParkMissingResult);
        throw CExitCodeException(FailureParkEXEFileExists);
    }
    for (const std::wstring& candidate :
         {request.programFolder + kParkFileName,
          request.programFolder + kPatchToolsFolder + L"\\" + kParkFileName}) {
        if (System::IO::CFile::Exists(candidate))
            return candidate;
    }
    throw CExitCodeException(FailureParkEXEFileExists);
}

// The SHA-256 of a file read through a stream that shares reading only; false when it cannot
// be read.
bool DigestOf(const std::wstring& path, unsigned char (&digest)[32])
{
    try {
        return System::Net::ComputeFileSha256(path, digest);
    } catch (const System::CException&) {
        return false;
    }
}

// Copies Park into the work folder under a new name and holds the copy against writing and
// deleting; the held bytes are checked to be Park's, so nobody swapped them in between.
std::wstring CopyPark(const std::wstring& park, const std::wstring& folder, CHandleGuard& hold)
{
    const std::wstring copy =
        folder + kParkCopyPrefix + CommonAppLogic::CreateGuidString() + kParkCopySuffix;
    if (CopyFileW(park.c_str(), copy.c_str(), FALSE)) {
        hold.Reset(CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        unsigned char original[32], copied[32];
        if (hold.IsValid() && DigestOf(park, original) && DigestOf(copy, copied) &&
            std::equal(original, original + 32, copied))
            return copy;
    }
    hold.Reset();
    DeleteFileW(copy.c_str());
    throw CExitCodeException(FailureParkEXECopyFile);
}

// A Park named on the command line lies where anybody may have put it: it is started only when
// the copy that runs carries the maker's signature, as every other program the Updater starts.
void RequireSignedNamedPark(const PatchLaunchRequest& request, const std::wstring& copy, CHandleGuard& hold,
                            IUpdateObserver& observer)
{
    if (request.parkPath.empty() || CommonAppLogic::VerifyFileSignature(copy))
        return;
    hold.Reset();
    DeleteFileW(copy.c_str());
    observer.ReportResult(kSpecifiedParkUnsignedResult);
    throw CExitCodeException(FailureParkEXEFileExists);
}

// The install service's start of the package: its process handle, or none after a failure that
// it reported (the shell then starts the package).
CHandleGuard StartThroughService(const std::wstring& patchPath, const std::wstring& arguments,
                                 const std::wstring& folder, IUpdateObserver& observer)
{
    const HRESULT initialized = CoInitialize(nullptr);
    if (initialized != S_OK && initialized != S_FALSE && initialized != RPC_E_CHANGED_MODE)
        throw CExitCodeException(FailureLaunchEXECoInitialize);
    struct Uninitialize {
        bool balance;
        ~Uninitialize()
        {
            if (balance)
                CoUninitialize();
        }
    } uninitialize{initialized == S_OK || initialized == S_FALSE};

    CHandleGuard process;
    std::wstring serverFolder;
    if (!System::Win32::GetComServerPath(kInstallServiceClassId, serverFolder)) {
        observer.ReportResult(kServiceMissingResult);
        return process;
    }
    System::Win32::CComPtrT<IInstallService> service;
    const HRESULT created = CoCreateInstance(kInstallServiceClassId, nullptr, kInstallServiceContext,
                                             kInstallServiceInterfaceId, reinterpret_cast<void**>(service.Receive()));
    if (FAILED(created)) {
        observer.ReportResult(kServiceCreateResult);
        return process;
    }
    if (!service)
        return process;
    CBstr quotedPath(L"\"" + patchPath + L"\"");
    CBstr packageArguments(arguments);
    CBstr packageFolder(folder);
    CHandleGuard second;
    const HRESULT ran = service->Run(GetCurrentProcessId(), quotedPath.Get(), packageArguments.Get(),
                                     packageFolder.Get(), 0, 0, process.Receive(), second.Receive());
    if (FAILED(ran) || !process) {
        process.Reset();
        observer.ReportResult(kServiceInvokeResult);
    }
    return process;
}

// The package's start: through the install service when the Updater is not elevated, else (or
// when the service failed) through the shell. Throws 1281 when the shell cannot start it.
CHandleGuard StartPackage(const PatchLaunchRequest& request, const std::wstring& path, const std::wstring& arguments,
                          IUpdateObserver& observer)
{
    const std::wstring folder = GetPatchFolder(path);
    CHandleGuard process;
    if (!request.elevated)
        process = StartThroughService(path, arguments, folder, observer);
    if (!process && !ShellStart(path, arguments, folder, kShellStartWithProcessMask, &process)) {
        observer.ReportResult(kShellExecPatchResult);
        throw CExitCodeException(FailureLaunchEXEShellExecuteEx);
    }
    return process;
}

// The "Install" percentage the package writes, relayed to the bar while it runs; its exit code
// (1 when it cannot be read).
DWORD WaitForPackage(HANDLE process, const std::wstring& statusKey, IUpdateObserver& observer)
{
    while (WaitForSingleObject(process, kWaitStepMs) == WAIT_TIMEOUT) {
        float percent = 0.0f;
        try {
            System::Win32::CRegistryKey key(statusKey, true);
            percent = ToSinglePrecision(_wtof(key.GetString(CommonAppLogic::kInstallProgressValue, L"100.0").c_str()));
        } catch (const System::CException&) {
            // No status key (yet): the bar shows the launch's start.
            observer.PostBarPosition(InstallBarPosition(0.0f));
            continue;
        }
        if (percent < 100.0f)
            observer.PostBarPosition(InstallBarPosition(percent));
    }
    DWORD exitCode = 1;
    GetExitCodeProcess(process, &exitCode);
    return exitCode;
}

} // namespace

std::wstring BuildPatchArguments(const std::wstring& parkCopy, const std::wstring& installerArgs)
{
    std::wstring arguments = kParkArgumentPrefix + parkCopy + L"\"";
    if (!installerArgs.empty())
        arguments += L" " + installerArgs;
    return arguments;
}

std::wstring ParkWaitCommandLine(const std::wstring& mainApplicationPath, const std::wstring& locale,
                                 const std::wstring& appArgs, const std::wstring& dp)
{
    std::wstring parameters = L"/noupdate! /userlocale " + locale;
    if (!appArgs.empty())
        parameters += L" " + appArgs;
    parameters += L" /dp " + dp;
    return System::String::FormatString(Park::WaitCommandLineFormat, mainApplicationPath.c_str(), parameters.c_str());
}

std::wstring GetPatchFolder(const std::wstring& patchPath)
{
    const size_t slash = patchPath.rfind(L'\\');
    return (slash == std::wstring::npos ? patchPath : patchPath.substr(0, slash)) + L"\\";
}

int InstallBarPosition(float percent)
{
    return SinglePrecisionBarPosition(percent, 0.45f, 55);
}

std::wstring MakeInstallerExitCodeResult(const std::wstring& text)
{
    return kInstallerExitCodeResultPrefix + text;
}

DWORD LaunchPatchUnderPark(const PatchLaunchRequest& request, TestedPackage& package, IUpdateObserver& observer)
{
    const std::wstring park = FindPark(request, observer);
    const std::wstring workFolder = GetUpdaterFolder(request.product);
    CHandleGuard parkHold;
    const std::wstring parkCopy = CopyPark(park, workFolder, parkHold);
    RequireSignedNamedPark(request, parkCopy, parkHold, observer);
    const std::wstring arguments = BuildPatchArguments(parkCopy, request.installerArgs);

    // What is started: the tested file itself, or, elevated, its held copy in a secure folder
    // (which goes once the package has ended, as this function returns).
    std::unique_ptr<CElevatedPackageCopy> elevatedCopy;
    TestedPackage* started = &package;
    if (request.elevated) {
        try {
            elevatedCopy.reset(new CElevatedPackageCopy(package));
        } catch (const CExitCodeException&) {
            observer.ReportResult(kElevatedPackageCopyResult);
            throw;
        }
        started = &elevatedCopy->Package();
    }

    CArmedPark waitingPark(parkCopy, workFolder);
    if (request.parking) {
        const std::wstring mainApplication = System::Win32::GetProgramFilesX86Path() + CommonAppLogic::kMainAppSubPath;
        if (!waitingPark.StartWaiting(ParkWaitCommandLine(mainApplication, request.locale, request.appArgs, request.dp))) {
            observer.ReportResult(kShellExecParkResult);
            throw CExitCodeException(FailureParkEXEShellExecuteEx);
        }
    }
    // From here every way out before the package runs tells the waiting Park to quit.
    CHandleGuard process = StartPackage(request, started->path, arguments, observer);
    waitingPark.HandOver();
    // Both have started: what runs is what was tested and copied.
    started->hold.Reset();
    package.hold.Reset();
    parkHold.Reset();

    return WaitForPackage(process.Get(), request.statusKey, observer);
}

} // namespace Updater
} // namespace Lm
