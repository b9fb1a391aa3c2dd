#include "Updater/UpdaterMain.h"

#include <windows.h>

#include "CommonAppLogic/SharedSettings.h"
#include "System/Exception.h"
#include "System/Io/Directory.h"
#include "System/Io/FilePath.h"
#include "System/Log.h"
#include "System/Net/ResourceStrings.h"
#include "System/String/AnsiWide.h"
#include "System/String/StringUtils.h"
#include "System/Win32/COMInitializer.h"
#include "System/Win32/DebuggingContract.h"
#include "System/Win32/Event.h"
#include "System/Win32/Handle.h"
#include "System/Win32/KnownFolders.h"
#include "System/Win32/NetworkConnectivity.h"
#include "System/Win32/RegistryKey.h"
#include "System/Win32/SystemInfo.h"
#include "Updater/ExitCodeException.h"
#include "Updater/PatchDownload.h"
#include "Updater/PatchLaunch.h"
#include "Updater/ProgressDialog.h"
#include "Updater/UpdateAnalytics.h"
#include "Updater/UpdateCheck.h"
#include "Updater/UpdaterContract.h"
#include "Updater/UpdaterResult.h"
#include "Updater/UpdaterStrings.h"
#include "Updater/VisitorId.h"

namespace Lm {
namespace Updater {

using System::CRefPtr;
using System::Net::CResourceStrings;
using System::Win32::CEvent;
using System::Win32::CHandleGuard;

namespace {

const DWORD kUploadIntervalMs = 125;
// DBG_TERMINATE_PROCESS: the package was ended from a debugger.
const unsigned long kDebuggerTerminated = 0x40010004UL;

// The bar, the status line and the reports of the download and launch steps go to the run's
// progress window and to the process-wide reporter.
class CRunObserver : public IUpdateObserver {
public:
    CRunObserver(CProgressDialog& dialog, const CResourceStrings& strings) : m_dialog(dialog), m_strings(strings) {}
    void PostBarPosition(int position) override
    {
        // A window that is gone already takes nothing (posting to none would reach this thread).
        if (HWND window = m_dialog.GetWindow())
            PostMessageW(window, kProgressMessage, static_cast<WPARAM>(position), 0);
    }
    void SetStatusText(UINT stringId) override { m_dialog.SetStatusText(m_strings.LoadString(stringId)); }
    void ReportResult(const std::wstring& text) override
    {
        if (CUpdateAnalytics* reporter = GetUpdateAnalytics())
            reporter->ReportResult(text);
    }

private:
    CProgressDialog& m_dialog;
    const CResourceStrings& m_strings;
};

// The developer settings of the progress window; registry trouble leaves the defaults.
void ReadDeveloperSettings()
{
    std::int32_t pause = 1000, minimum = 500;
    try {
        System::Win32::CRegistryKey key(System::Win32::kDebuggingKey, true);
        pause = static_cast<std::int32_t>(key.GetUint32(kPauseBeforeDialogValue, 1000));
        minimum = static_cast<std::int32_t>(key.GetUint32(kMinDialogShowTimeValue, 500));
    } catch (...) {
        // No Debugging key, or a value of another type: a test setting, never a failure.
        pause = 1000;
        minimum = 500;
    }
    UpdaterPauseBeforeDialogMs = pause;
    UpdaterMinDialogShowTimeMs = minimum;
}

void StartLog(const std::wstring& product)
{
    const std::wstring path = GetUpdaterLogPath(product);
    System::IO::CDirectory::CreateParent(path);
    System::CLog::Init(path, false);
}

int ShowBox(CProgressDialog& dialog, const CResourceStrings& strings, UINT textId, UINT type)
{
    return MessageBoxW(dialog.GetWindow(), strings.LoadString(textId).c_str(),
                       strings.LoadString(IDS_UPDATER_CAPTION).c_str(), type);
}

// Exits that must not wait for pending events: the uploader is stopped and joined first, so that
// the process never ends in the middle of a store compaction, and the reporter then goes at once.
void ReleaseReporterWithoutWaiting()
{
    if (CUpdateAnalytics* reporter = GetUpdateAnalytics())
        reporter->StopUploadThread();
    SetUpdateAnalytics(nullptr);
}

// The run's named objects: the single-instance mutex, the work folder's mutex and the three
// update events.
struct RunObjects {
    CHandleGuard mutex;
    CHandleGuard folderMutex;
    CRefPtr<CEvent> updateNo;
    CRefPtr<CEvent> updateYes;
    CRefPtr<CEvent> updateDeny;

    void SetUpdateNo()
    {
        if (updateNo)
            updateNo->Set();
    }
    void ReleaseMutexes()
    {
        folderMutex.Reset();
        mutex.Reset();
    }
};

// Creates the named mutex owned; false when it cannot be made or another process made it first.
bool CreateOwnedMutex(const std::wstring& name, CHandleGuard& mutex)
{
    HANDLE created = CreateMutexW(nullptr, TRUE, name.c_str());
    const DWORD error = GetLastError();
    mutex.Reset(created);
    if (mutex && error != ERROR_ALREADY_EXISTS)
        return true;
    mutex.Reset();
    return false;
}

// The work folder's mutex is named after what the file system takes the folder to be, not after
// the product's text: names that differ in case only, a short name or a trailing dot all meet
// at the same folder, and so at the same mutex.
std::wstring WorkFolderMutexName(const std::wstring& folder)
{
    CHandleGuard handle(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!handle || !GetFileInformationByHandle(handle.Get(), &information))
        throw CExitCodeException(FailureMainMutex);
    return System::String::FormatString(L"%ls%08lx-%08lx%08lx", kWorkFolderMutexPrefix,
                                        information.dwVolumeSerialNumber, information.nFileIndexHigh,
                                        information.nFileIndexLow);
}

// Step 8: one run per product and kind of caller (the starters' contract), and one run per work
// folder, whatever the options: a run with "/from=" and one without would otherwise clean and
// write the same folder at once. Both come before the events, so that a run which gives way
// sets nothing that the running one's caller waits on.
void TakeSingleInstance(const UpdaterOptions& options, RunObjects& objects)
{
    if (!CreateOwnedMutex(GetUpdaterMutexName(options.product, !options.from.empty()), objects.mutex))
        throw CExitCodeException(FailureMainMutex);
    if (!CreateOwnedMutex(WorkFolderMutexName(GetUpdaterFolder(options.product)), objects.folderMutex))
        throw CExitCodeException(FailureMainMutex);
}

// Steps 8 to 23: the run itself. Raises result codes; returns the result of the exits that are
// no failure (0, 2, 3, 4) and of the offline failure (259).
int RunGuarded(UpdaterOptions& options, const CResourceStrings& strings, RunObjects& objects)
{
    // The product names the work folder, the log, the mutex and the events: one plain name only
    // (the clean-up below empties its folder).
    if (options.product.empty() || !CommonAppLogic::IsPlainFolderName(options.product))
        throw CExitCodeException(FailureMainCommandLine);

    TakeSingleInstance(options, objects);

    objects.updateNo = new CEvent(false, false, GetUpdateNoEventName(options.product));
    objects.updateYes = new CEvent(false, false, GetUpdateYesEventName(options.product));
    objects.updateDeny = new CEvent(false, false, GetUpdateDenyEventName(options.product));

    DeleteStaleDownloads(options.product);

    CProgressDialog dialog(strings.LoadString(IDS_UPDATER_CAPTION), strings.LoadString(IDS_UPDATER_CHECKING),
                           options.showProgress);

    bool online;
    {
        System::Win32::CCOMInitializer com;
        online = System::Win32::IsConnectedToInternet();
    }
    if (!online) {
        int result = SuccessMainOffline;
        if (options.from.empty()) {
            // The box first, while its owner window still exists; then the window's thread goes.
            ShowBox(dialog, strings, IDS_UPDATER_OFFLINE, MB_OK | MB_ICONERROR);
            result = FailureMainOffline;
        }
        dialog.SignalStop();
        objects.SetUpdateNo();
        ReleaseReporterWithoutWaiting();
        return result;
    }
    dialog.SetProgress(10);

    UpdateCheckReply reply;
    if (!options.patchUrl.empty()) {
        reply.url = Utf16ToUrlUtf8(options.patchUrl);
    } else {
        UpdateCheckQuery query;
        query.scheme = options.dev ? "http" : "https";
        query.product = Utf16ToUtf8(options.product);
        query.channel = options.channel;
        query.dp = Utf16ToUtf8(options.dp);
        query.version = GetFileVersionString(options.from);
        query.callerName = kCallerName;
        query.callerVersion = kCallerVersion;
        query.visitorId = Utf16ToUtf8(GetVisitorId());
        const int checked = GetUpdateUrl(query, reply);
        if (checked != Success)
            throw CExitCodeException(checked);
    }
    dialog.SetProgress(20);

    if (reply.url.empty()) {
        objects.SetUpdateNo();
        SetUpdateAnalytics(nullptr);   // waits for pending uploads (at most about 5 s)
        return SuccessNoURL;
    }

    if (options.prompt) {
        if (ShowBox(dialog, strings, IDS_UPDATER_PROMPT, MB_YESNO | MB_ICONQUESTION) != IDYES) {
            objects.updateDeny->Set();
            objects.SetUpdateNo();
            ReleaseReporterWithoutWaiting();
            return SuccessRejected;
        }
    } else if (options.notify) {
        ShowBox(dialog, strings, IDS_UPDATER_NOTIFY, MB_OK | MB_ICONINFORMATION);
    }

    CRunObserver observer(dialog, strings);
    PatchDownloadRequest download;
    download.product = options.product;
    // A server's URL in UTF-8 goes on as a URL can carry it.
    download.url = EscapeUrlBytes(reply.url);
    download.expectedHash = reply.hash;
    download.expectedSize = reply.size;
    download.publishProgress = options.emitDownloadProgress;
    TestedPackage package = DownloadAndTestPackage(download, observer);

    objects.updateYes->Set();
    dialog.SetProgress(55);
    PatchLaunchRequest launch;
    launch.product = options.product;
    launch.locale = options.locale;
    launch.installerArgs = options.installerArgs;
    launch.parking = options.parking;
    launch.parkPath = options.parkPath;
    launch.appArgs = options.appArgs;
    launch.dp = options.dp;
    launch.elevated = System::Win32::IsProcessElevated();
    launch.programFolder = System::Win32::GetModuleDirectory();
    const DWORD exitCode = LaunchPatchUnderPark(launch, package, observer);

    dialog.SignalStop();
    if (CUpdateAnalytics* reporter = GetUpdateAnalytics())
        reporter->ReportResult(PackageExitCodeResult(exitCode));
    return Success;
}

} // namespace

std::wstring GetUpdaterLogPath(const std::wstring& product)
{
    using System::IO::CFilePath;
    return CFilePath::Combine(CFilePath::Combine(System::Win32::GetRoamingAppDataPath(), kLogFolder),
                              product + kLogFileSuffix);
}

std::wstring GetUpdaterMutexName(const std::wstring& product, bool withFrom)
{
    return (withFrom ? kMutexPrefixWithFrom : kMutexPrefixWithoutFrom) + product;
}

std::wstring GetUpdateNoEventName(const std::wstring& product) { return kUpdateNoEventPrefix + product; }
std::wstring GetUpdateYesEventName(const std::wstring& product) { return kUpdateYesEventPrefix + product; }
std::wstring GetUpdateDenyEventName(const std::wstring& product) { return kUpdateDenyEventPrefix + product; }

std::wstring PackageExitCodeResult(unsigned long exitCode)
{
    if (exitCode == 0)
        return kSucceededResult;
    if (exitCode == kDebuggerTerminated)
        return kDebuggerTerminatedResult;
    return MakeInstallerExitCodeResult(std::to_wstring(exitCode));
}

int RunUpdater(UpdaterOptions options)
{
    // Before the guarded run there is no reporter yet: a failure here ends the run with the code
    // of its kind, unreported.
    CRefPtr<CResourceStrings> strings;
    try {
        if (!options.product.empty() && CommonAppLogic::IsPlainFolderName(options.product))
            StartLog(options.product);
        ReadDeveloperSettings();
        strings = new CResourceStrings(options.locale);
        if (options.locale.empty())
            options.locale = strings->GetLanguageName();
        CRefPtr<CUpdateAnalytics> reporter = new CUpdateAnalytics(options.locale, options.dp, options.product);
        reporter->StartUploadThread(kUploadIntervalMs);
        SetUpdateAnalytics(reporter.Get());
    } catch (const System::CException&) {
        return FailureLmThrowException;
    } catch (...) {
        return FailureMainException;
    }

    RunObjects objects;
    int code;
    try {
        const int result = RunGuarded(options, *strings, objects);
        // The window is gone with the run; the mutexes go before the reporter, whose end may
        // wait for pending events.
        objects.ReleaseMutexes();
        SetUpdateAnalytics(nullptr);
        return result;
    } catch (const CExitCodeException& e) {
        code = e.GetCode();
    } catch (const System::CException&) {
        code = FailureLmThrowException;
    } catch (...) {
        code = FailureMainException;
    }
    objects.ReleaseMutexes();
    objects.SetUpdateNo();
    if (CUpdateAnalytics* reporter = GetUpdateAnalytics())
        reporter->ReportResultCode(code);
    SetUpdateAnalytics(nullptr);
    return code;
}

int RunUpdater()
{
    UpdaterOptions options;
    try {
        options = ReadUpdaterOptions();
    } catch (const System::CException&) {
        return FailureLmThrowException;   // a command line that cannot be read
    }
    return RunUpdater(options);
}

} // namespace Updater
} // namespace Lm
