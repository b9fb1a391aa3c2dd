#include "Updater/PatchLaunch.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

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
#include "Updater/ExitCodeException.h"
#include "Updater/UpdaterContract.h"
#include "Updater/UpdaterResult.h"

namespace Lm {
namespace Updater {

using System::Win32::CHandleGuard;

namespace {

const char kSource[] = "Lm\\Updater\\PatchLaunch.cpp";
const DWORD kWaitStepMs = 200;
const DWORD kTerminateDelayMs = 1000;
// SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI, and with SEE_MASK_NOCLOSEPROCESS for the package.
const ULONG kParkStartMask = 0x500;
const ULONG kPackageStartMask = 0x540;

// Park to copy: the named one, or the one beside the Updater, or the one in its PatchTools.
std::wstring FindPark(const PatchLaunchRequest& request, IUpdateObserver& observer)
{
    if (!request.parkPath.empty()) {
        if (System::IO::CFile::Exists(request.parkPath))
            return request.parkPath;
        observer.ReportResult(L"SpecifiedParkMissing");
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

bool ShellStart(const std::wstring& file, const std::wstring& parameters, const std::wstring& folder, ULONG mask,
                HANDLE* process)
{
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = mask;
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info))
        return false;
    // A start without a process handle (the shell handed the file on) gives exit code 1 below.
    if (process != nullptr)
        *process = info.hProcess;
    return true;
}

// An owned BSTR.
class CBstr {
public:
    explicit CBstr(const std::wstring& text) : m_text(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {
        if (m_text == nullptr) {
            SetLastError(static_cast<DWORD>(E_OUTOFMEMORY));
            System::ThrowException("SysAllocStringLen failed", kSource, 111, "Lm::Updater::CBstr::CBstr");
        }
    }
    ~CBstr() { SysFreeString(m_text); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    BSTR Get() const { return m_text; }

private:
    BSTR m_text;
};

// The install service's start of the package: its process handle, or null after a failure that
// it reported (the shell then starts the package).
HANDLE StartThroughService(const std::wstring& patchPath, const std::wstring& arguments, const std::wstring& folder,
                           IUpdateObserver& observer)
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

    HANDLE process = nullptr;
    std::wstring serverFolder;
    if (!System::Win32::GetComServerPath(kInstallServiceClassId, serverFolder)) {
        observer.ReportResult(L"ServiceMissing");
        return nullptr;
    }
    System::Win32::CComPtrT<IInstallService> service;
    const HRESULT created = CoCreateInstance(kInstallServiceClassId, nullptr, kInstallServiceContext,
                                             kInstallServiceInterfaceId, reinterpret_cast<void**>(service.Receive()));
    if (FAILED(created)) {
        observer.ReportResult(L"ServiceCreate");
        return nullptr;
    }
    if (!service)
        return nullptr;
    CBstr quotedPath(L"\"" + patchPath + L"\"");
    CBstr packageArguments(arguments);
    CBstr packageFolder(folder);
    HANDLE second = nullptr;
    const HRESULT ran = service->Run(GetCurrentProcessId(), quotedPath.Get(), packageArguments.Get(),
                                     packageFolder.Get(), 0, 0, &process, &second);
    if (second != nullptr)
        CloseHandle(second);
    if (FAILED(ran) || process == nullptr) {
        if (process != nullptr)
            CloseHandle(process);
        observer.ReportResult(L"ServiceInvoke");
        return nullptr;
    }
    return process;
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
    const float scaled = percent * 0.45f;
    const float rounded = scaled + 0.499f;
    const int position = static_cast<int>(std::trunc(rounded)) + 55;
    return std::min(position, 100);
}

std::wstring MakeInstallerExitCodeResult(const std::wstring& text)
{
    return L"InstallerExitCode" + text;
}

DWORD LaunchPatchUnderPark(const PatchLaunchRequest& request, TestedPackage& package, IUpdateObserver& observer)
{
    const std::wstring patchFolder = GetPatchFolder(package.path);
    const std::wstring park = FindPark(request, observer);
    const std::wstring workFolder = GetUpdaterFolder(request.product);
    CHandleGuard parkHold;
    const std::wstring parkCopy = CopyPark(park, workFolder, parkHold);
    const std::wstring arguments = BuildPatchArguments(parkCopy, request.installerArgs);

    if (request.parking) {
        const std::wstring mainApplication = System::Win32::GetProgramFilesX86Path() + CommonAppLogic::kMainAppSubPath;
        if (!ShellStart(parkCopy, ParkWaitCommandLine(mainApplication, request.locale, request.appArgs, request.dp),
                        workFolder, kParkStartMask, nullptr)) {
            observer.ReportResult(L"ShellExecPark");
            throw CExitCodeException(FailureParkEXEShellExecuteEx);
        }
    }

    CHandleGuard process;
    if (!request.elevated)
        process.Reset(StartThroughService(package.path, arguments, patchFolder, observer));
    if (!process) {
        HANDLE started = nullptr;
        if (!ShellStart(package.path, arguments, patchFolder, kPackageStartMask, &started)) {
            observer.ReportResult(L"ShellExecPatch");
            if (request.parking) {
                Sleep(kTerminateDelayMs);
                ShellStart(parkCopy, Park::SignalTerminateCommandLine, workFolder, kParkStartMask, nullptr);
            }
            throw CExitCodeException(FailureLaunchEXEShellExecuteEx);
        }
        process.Reset(started);
    }
    // Both have started: what runs is what was tested and copied.
    package.hold.Reset();
    parkHold.Reset();

    while (WaitForSingleObject(process.Get(), kWaitStepMs) == WAIT_TIMEOUT) {
        float percent = 0.0f;
        try {
            System::Win32::CRegistryKey key(request.statusKey, true);
            percent = static_cast<float>(_wtof(key.GetString(CommonAppLogic::kInstallProgressValue, L"100.0").c_str()));
        } catch (const System::CException&) {
            // No status key (yet): the bar shows the launch's start.
            observer.PostBarPosition(InstallBarPosition(0.0f));
            continue;
        }
        if (percent < 100.0f)
            observer.PostBarPosition(InstallBarPosition(percent));
    }
    DWORD exitCode = 1;
    GetExitCodeProcess(process.Get(), &exitCode);
    return exitCode;
}

} // namespace Updater
} // namespace Lm
