#include "Installer/InstallerMain.h"

#include <windows.h>
#include <stdlib.h>

#include "CommonAppLogic/DpCode.h"
#include "CommonAppLogic/InstallUtils.h"
#include "CommonAppLogic/SecureTemporaryFolder.h"
#include "CommonAppLogic/UILanguage.h"
#include "Installer/HandleUiEvent.h"
#include "Installer/InstallSequence.h"
#include "Installer/InstallerBox.h"
#include "Installer/InstallerContract.h"
#include "Installer/InstallerOptions.h"
#include "Installer/InstallerUiThread.h"
#include "Installer/InstallerWindow.h"
#include "Installer/OlderInstallations.h"
#include "Installer/WindowPage.h"
#include "Installer/WindowSteps.h"
#include "System/Exception.h"
#include "System/Log.h"
#include "System/RefPtr.h"
#include "System/Win32/Handle.h"
#include "System/Win32/KnownFolders.h"
#include "System/Win32/RegistryKey.h"

namespace Lm {
namespace Installer {

using Lm::CommonAppLogic::InstallUtils::CSecureTemporaryFolder;
using Lm::System::CRefPtr;
using Lm::System::Win32::CRegistryKey;

namespace {

constexpr const wchar_t* kPageFileName = L"\\install.html";

// The wizard page and what it loads (RT_RCDATA), laid out as the page expects them.
const struct PageFile {
    WORD resource;
    const wchar_t* name;
} kPageFiles[] = {
    {110, L"\\install.html"},
    {111, L"\\EULA_de.html"},
    {112, L"\\EULA_en-us.html"},
    {113, L"\\EULA_es-es.html"},
    {114, L"\\EULA_es.html"},
    {115, L"\\EULA_fr.html"},
    {116, L"\\EULA_it.html"},
    {117, L"\\EULA_ko.html"},
    {118, L"\\EULA_pt.html"},
    {119, L"\\EULA_zh-chs.html"},
    {120, L"\\EULA_zh-cht.html"},
    {121, L"\\css\\progressbar.css"},
    {122, L"\\css\\style.css"},
    {123, L"\\js\\install.js"},
    {124, L"\\js\\strings.js"},
    {125, L"\\images\\downloader_bg_400.gif"},
    {126, L"\\images\\progress_blank.jpg"},
    {127, L"\\images\\progress_frame.jpg"},
    {128, L"\\images\\progress_green.jpg"},
};

// Windows older than 7 (6.1). A failed query goes on.
bool IsWindowsTooOld()
{
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version)))
        return false;
#pragma GCC diagnostic pop
    return version.dwMajorVersion < 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion == 0);
}

// No window: a silent option outside full-installer mode, or both the main application and the
// touchpoint installed already.
bool IsSilentPath(const CInstallerOptions& options, bool fullMode)
{
    if (IsQuietRun(options, fullMode))
        return true;
    return IsUninstallEntryValid(kMainAppUninstallKeyName) && IsUninstallEntryValid(kTouchpointUninstallKeyName);
}

// An exception on the window path, or a UI thread that ended in failure: the box, the failed
// flag, and the window told to go. UiQuitEvent is set here too: before the window exists
// nobody else would set it, and the UI thread would wait for it for ever.
void FailWindowPath(CInstallContext& context)
{
    ReportToUser(false, context.row, UnexpectedErrorText(context.row, kErrorWindowPath, 1), kErrorBoxFlags);
    context.failed = true;
    if (CRefPtr<CInstallerWindow> window = GetInstallerWindow())
        window->OnClose();
    UiQuitEvent().Set();
}

// The silent path: the install and its finish. An exception in either is a failure like one a
// step reports (its box unless the run is quiet, the log line), so that what the run laid down is
// rolled back and Park released, as on the window path.
void RunSilentPath(CInstallContext& context)
{
    try {
        DoInstall(context, true);
        FinishInstall(context);
    } catch (const Lm::System::CException& exception) {
        Lm::System::CLog::WriteLine(L"Installer: the silent install failed\n" + exception.ToString());
        ReportToUser(context.quiet, context.row, UnexpectedErrorText(context.row, kErrorSilentPath, 1), kErrorBoxFlags);
        context.failed = true;
    }
}

void RunWindowPath(CInstallContext& context)
{
    // The page's progress channel, published by the Updater and the full installer.
    CRefPtr<CRegistryKey> status(new CRegistryKey(kInstallerStatusKey, false));
    status->SetString(kInstallProgressValue, L"0");
    status->SetString(kDownloadProgressValue, L"0");

    CRefPtr<CSecureTemporaryFolder> pages(new CSecureTemporaryFolder(kTemporaryFolderPrefix));
    for (const PageFile& file : kPageFiles)
        Lm::CommonAppLogic::ExtractResourceToFile(file.resource, pages->GetPath() + file.name);

    CUiContext uiContext;
    uiContext.fullMode = context.fullMode;
    uiContext.languageIndex = context.languageIndex;
    CWindowPage page;
    CWindowSteps steps(context);
    context.page = &page;
    try {
        CRefPtr<CInstallerUiThread> thread(new CInstallerUiThread(pages->GetPath() + kPageFileName, uiContext));
        SetInstallerUiThread(thread);
        thread->ThreadStart();
        while (thread->GetState() != Lm::System::Win32::ThreadStateFinished) {
            while (HandleUiEvent(steps, uiContext)) {
            }
            thread->WaitStopEvent(50);
        }
        // The page never loaded, or the window could not be made: a failure like any other.
        const bool threadFailed = thread->GetException().IsSet();
        thread = nullptr;
        SetInstallerUiThread(nullptr);
        if (threadFailed)
            FailWindowPath(context);
    } catch (...) {
        FailWindowPath(context);
        // Waits for the UI thread to end.
        SetInstallerUiThread(nullptr);
    }
    context.page = nullptr;
}

} // namespace

bool AcquireInstallerMutex(const InstallerMessageRow& row, bool restore, bool quiet)
{
    const int limit = restore ? kInstallerMutexRestoreTries : kInstallerMutexTries;
    for (int tries = 0;;) {
        Lm::System::Win32::CHandleGuard mutex(CreateMutexW(nullptr, TRUE, kInstallerMutexName));
        const DWORD error = GetLastError();
        // No handle at all (the name taken by an object we may not open) counts as another
        // holder too: returning true without a handle would let two Installers run.
        if (mutex && error != ERROR_ALREADY_EXISTS) {
            // Held, never closed: the rule holds until the process ends.
            mutex.Detach();
            return true;
        }
        // Another Installer's: closed before the pause, since a handle kept would keep the
        // mutex alive after its holder ends, and every later try would find it taken.
        mutex.Close();
        Sleep(kInstallerMutexRetryMs);
        if (++tries >= limit)
            break;
    }
    if (!restore)
        ReportToUser(quiet, row, InstallerMessageText(row, kMessageAlreadyRunning), kAlreadyRunningBoxFlags);
    return false;
}

int InstallerMain()
{
    const int languageIndex = Lm::CommonAppLogic::GetUILanguageIndex(L"");
    const InstallerMessageRow& row = GetInstallerMessageRow(languageIndex);
    // The options first (they touch nothing), so that a quiet run shows no box at all.
    const CInstallerOptions options(__argc, __wargv);
    CInstallContext context(options, row);
    context.languageIndex = languageIndex;
    context.fullMode = options.update || Lm::System::Win32::GetModuleFileNameOnly() == kFullInstallerFileName;
    context.quiet = IsQuietRun(options, context.fullMode);
    if (IsWindowsTooOld()) {
        ReportToUser(context.quiet, row, InstallerMessageText(row, kMessageWindowsTooOld), kErrorBoxFlags);
        return 0;
    }

    context.dp = Lm::CommonAppLogic::ResolveDpCode(context.fullMode, options.dp);
    if (!AcquireInstallerMutex(row, options.restore, context.quiet))
        return 0;
    context.dpShort = Lm::CommonAppLogic::GetShortDpCode(context.dp);
    UpgradeLegacyUninstall();

    if (IsSilentPath(options, context.fullMode))
        RunSilentPath(context);
    else
        RunWindowPath(context);
    if (context.failed)
        RollbackInstall(context);
    CleanupInstall(context);
    // A quiet run reported its failure in the log only: its caller learns of it here.
    return context.failed && context.quiet ? 1 : 0;
}

} // namespace Installer
} // namespace Lm
