#include "Updater/UpdaterMain.h"

#include <windows.h>

#include "CommonAppLogic/SharedSettings.h"
#include "System/Exception.h"
#include "System/Io/Directory.h"
#include "System/Io/FilePath.h"
#include "System/Log.h"
#include "System/Net/ResourceStrings.h"
#include "System/String/AnsiWide.h"
#include "System/Win32/COMInitializer.h"
#include "System/Win32/DebuggingContract.h"
#include "System/Win32/KnownFolders.h"
#include "System/Win32/NetworkConnectivity.h"
#include "System/Win32/RegistryKey.h"
#include "System/Win32/SystemInfo.h"
#include "Updater/ExitCodeException.h"
#include "Updater/PatchDownload.h"
#include "Updater/PatchLaunch.h"
#include "Updater/ProgressDialog.h"
#include "Updater/RunObjects.h"
#include "Updater/RunObserver.h"
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

namespace {

const DWORD kUploadIntervalMs = 125;
// DBG_TERMINATE_PROCESS: the package was ended from a debugger.
const unsigned long kDebuggerTerminated = 0x40010004UL;

// --- Before the guarded run ------------------------------------------------------------------

void StartLog(const std::wstring& product)
{
    const std::wstring path = GetUpdaterLogPath(product);
    System::IO::CDirectory::CreateParent(path);
    System::CLog::Init(path, false);
}

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

// The process-wide reporter, its uploader started.
void StartReporter(const UpdaterOptions& options)
{
    CRefPtr<CUpdateAnalytics> reporter = new CUpdateAnalytics(options.locale, options.dp, options.product);
    reporter->StartUploadThread(kUploadIntervalMs);
    SetUpdateAnalytics(reporter.Get());
}

// Exits that must not wait for pending events: the uploader is stopped and joined first, so that
// the process never ends in the middle of a store compaction, and the reporter then goes at once.
void ReleaseReporterWithoutWaiting()
{
    if (CUpdateAnalytics* reporter = GetUpdateAnalytics())
        reporter->StopUploadThread();
    SetUpdateAnalytics(nullptr);
}

// --- The steps of the guarded run ------------------------------------------------------------

// The product names the work folder, the log, the mutex and the events: one plain name only
// (the clean-up empties its folder).
void CheckProduct(const UpdaterOptions& options)
{
    if (options.product.empty() || !CommonAppLogic::IsPlainFolderName(options.product))
        throw CExitCodeException(FailureMainCommandLine);
}

int ShowBox(CProgressDialog& dialog, const CResourceStrings& strings, UINT textId, UINT type)
{
    return MessageBoxW(dialog.GetWindow(), strings.LoadString(textId).c_str(),
                       strings.LoadString(IDS_UPDATER_CAPTION).c_str(), type);
}

bool IsOnline()
{
    System::Win32::CCOMInitializer com;
    return System::Win32::IsConnectedToInternet();
}

// Offline: 2 with "/from=" and no box; else the error box, while its owner window still exists,
// and 259. The reporter goes without waiting; nothing is reported.
int EndOffline(const UpdaterOptions& options, const CResourceStrings& strings, CProgressDialog& dialog,
               CRunObjects& objects)
{
    int result = SuccessMainOffline;
    if (options.from.empty()) {
        ShowBox(dialog, strings, IDS_UPDATER_OFFLINE, MB_OK | MB_ICONERROR);
        result = FailureMainOffline;
    }
    dialog.SignalStop();
    objects.SetUpdateNo();
    ReleaseReporterWithoutWaiting();
    return result;
}

// The package to fetch: "/patchURL=" as it is, or what the update check names. Raises the
// check's result code when it fails.
UpdateCheckReply FindPackage(const UpdaterOptions& options)
{
    UpdateCheckReply reply;
    if (!options.patchUrl.empty()) {
        reply.url = Utf16ToUrlUtf8(options.patchUrl);
        return reply;
    }
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
    return reply;
}

// No package: 3, once pending reports are out (the reporter's end waits at most about 5 s).
int EndWithoutPackage(CRunObjects& objects)
{
    objects.SetUpdateNo();
    SetUpdateAnalytics(nullptr);
    return SuccessNoURL;
}

// "/prompt" asks (only Yes goes on); else "/notify" tells. False when the user declined.
bool AskOrTell(const UpdaterOptions& options, const CResourceStrings& strings, CProgressDialog& dialog)
{
    if (options.prompt)
        return ShowBox(dialog, strings, IDS_UPDATER_PROMPT, MB_YESNO | MB_ICONQUESTION) == IDYES;
    if (options.notify)
        ShowBox(dialog, strings, IDS_UPDATER_NOTIFY, MB_OK | MB_ICONINFORMATION);
    return true;
}

// Declined: 4, UpdateDeny before UpdateNo; the reporter goes without waiting.
int EndDeclined(CRunObjects& objects)
{
    objects.SetUpdateDeny();
    objects.SetUpdateNo();
    ReleaseReporterWithoutWaiting();
    return SuccessRejected;
}

PatchDownloadRequest DownloadRequestFor(const UpdaterOptions& options, const UpdateCheckReply& reply)
{
    PatchDownloadRequest download;
    download.product = options.product;
    // A server's URL in UTF-8 goes on as a URL can carry it.
    download.url = EscapeUrlBytes(reply.url);
    download.expectedHash = reply.hash;
    download.expectedSize = reply.size;
    download.publishProgress = options.emitDownloadProgress;
    return download;
}

PatchLaunchRequest LaunchRequestFor(const UpdaterOptions& options)
{
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
    return launch;
}

void ReportPackageExitCode(DWORD exitCode)
{
    if (CUpdateAnalytics* reporter = GetUpdateAnalytics())
        reporter->ReportResult(PackageExitCodeResult(exitCode));
}

// Steps 7 to 23: the run itself. Raises result codes; returns the result of the exits that are
// no failure (0, 2, 3, 4) and of the offline failure (259).
int RunGuarded(const UpdaterOptions& options, const CResourceStrings& strings, CRunObjects& objects)
{
    CheckProduct(options);
    objects.TakeSingleInstance(options.product, !options.from.empty());
    objects.CreateEvents(options.product);
    DeleteStaleDownloads(options.product);
    CProgressDialog dialog(strings.LoadString(IDS_UPDATER_CAPTION), strings.LoadString(IDS_UPDATER_CHECKING),
                           options.showProgress);

    if (!IsOnline())
        return EndOffline(options, strings, dialog, objects);
    dialog.SetProgress(10);
    const UpdateCheckReply reply = FindPackage(options);
    dialog.SetProgress(20);
    if (reply.url.empty())
        return EndWithoutPackage(objects);
    if (!AskOrTell(options, strings, dialog))
        return EndDeclined(objects);

    CRunObserver observer(dialog, strings);
    TestedPackage package = DownloadAndTestPackage(DownloadRequestFor(options, reply), observer);
    objects.SetUpdateYes();
    dialog.SetProgress(55);
    const DWORD exitCode = LaunchPatchUnderPark(LaunchRequestFor(options), package, observer);

    dialog.SignalStop();
    ReportPackageExitCode(exitCode);
    return Success;
}

// A failure of the guarded run: UpdateNo (when made), its code reported, the reporter released
// (waiting for pending events).
int EndWithFailure(int code, CRunObjects& objects)
{
    objects.ReleaseMutexes();
    objects.SetUpdateNo();
    if (CUpdateAnalytics* reporter = GetUpdateAnalytics())
        reporter->ReportResultCode(code);
    SetUpdateAnalytics(nullptr);
    return code;
}

} // namespace

std::wstring GetUpdaterLogPath(const std::wstring& product)
{
    using System::IO::CFilePath;
    return CFilePath::Combine(CFilePath::Combine(System::Win32::GetRoamingAppDataPath(), kLogFolder),
                              product + kLogFileSuffix);
}

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
        StartReporter(options);
    } catch (const System::CException&) {
        return FailureLmThrowException;
    } catch (...) {
        return FailureMainException;
    }

    CRunObjects objects;
    try {
        const int result = RunGuarded(options, *strings, objects);
        // The window is gone with the run; the mutexes go before the reporter, whose end may
        // wait for pending events.
        objects.ReleaseMutexes();
        SetUpdateAnalytics(nullptr);
        return result;
    } catch (const CExitCodeException& e) {
        return EndWithFailure(e.GetCode(), objects);
    } catch (const System::CException&) {
        return EndWithFailure(FailureLmThrowException, objects);
    } catch (...) {
        return EndWithFailure(FailureMainException, objects);
    }
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
