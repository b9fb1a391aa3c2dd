#include "Installer/HandleUiEvent.h"

#include <windows.h>

#include "CommonAppLogic/IniFile.h"
#include "CommonAppLogic/SharedSettings.h"
#include "CommonAppLogic/SharedSettingsNames.h"
#include "Installer/InstallerBox.h"
#include "Installer/InstallerMessageTable.h"
#include "Installer/InstallerUiThread.h"
#include "Installer/InstallerWindow.h"
#include "Installer/PageProtocol.h"
#include "System/Exception.h"
#include "System/Win32/RegistryKey.h"

namespace Lm {
namespace Installer {

using System::CRefPtr;

namespace {

bool IsAgreedText(const std::wstring& value)
{
    return value == L"true" || value == L"TRUE";
}

void OnFinish(IInstallSteps& steps, CInstallerWindow& window)
{
    if (window.GetPageState() != PageStateFinishShown)
        return;
    window.SetPageState(PageStateFinished);
    steps.FinishInstall();
    window.PostClose();
}

void OnCancel(IInstallSteps& steps, const CUiContext& context, CInstallerWindow& window)
{
    if (window.GetPageState() > PageStateBeginPosted)
        return; // the install has begun (or the run is over)
    window.PostHide();
    const InstallerMessageRow& row = GetInstallerMessageRow(context.languageIndex);
    const int answer = ShowInstallerBox(row, InstallerMessageText(row, kMessageExitQuestion), kExitQuestionBoxFlags);
    if (answer == IDNO) {
        window.PostShow();
        return;
    }
    window.SetPageState(PageStateFinished);
    // The entry is written and taken away again only when this Cancel makes it; an entry of an
    // earlier install stays as it is.
    if (!System::Win32::CRegistryKey::KeyExists(context.touchpointEntryKey)) {
        steps.WriteTouchpointUninstallEntry();
        System::Win32::CRegistryKey::DeleteKeyTree(context.touchpointEntryKey);
    }
    window.PostClose();
}

void OnBegin(IInstallSteps& steps, CInstallerWindow& window)
{
    const PageState state = window.GetPageState();
    if (state != PageStateLicence && state != PageStateBeginPosted)
        return; // before the licence view, or a second Begin
    window.SetPageState(PageStateInstalling);
    steps.DoInstall();
    window.PostCommand(kScriptShowFinish);
    window.SetPageState(PageStateFinishShown);
}

void OnLoaded(IInstallSteps& steps, const CUiContext& context, CInstallerWindow& window)
{
    if (window.GetPageState() != PageStateLoading)
        return;
    if (context.fullMode) {
        window.SetPageState(PageStateInstalling);
        window.PostCommand(kScriptShowProgress);
        const CRefPtr<CInstallerUiThread> thread = GetInstallerUiThread();
        if (!window.WaitCommandsDrained(thread ? thread->GetHandle() : nullptr))
            return; // the UI thread ended first: the window path is over
        steps.DoInstall();
        steps.FinishInstall();
        window.SetPageState(PageStateFinished);
        window.PostClose();
        return;
    }
    try {
        if (IsLicenceAgreed(context)) {
            window.PostCommand(kScriptShowProgress);
            window.PostCommand(kScriptBeginInstall);
            window.SetPageState(PageStateBeginPosted);
            return;
        }
    } catch (const System::CException&) {
        // An unreadable settings file: the licence is shown.
    }
    window.PostCommand(kScriptShowMain);
    window.SetPageState(PageStateLicence);
}

} // namespace

bool IsLicenceAgreed(const CUiContext& context)
{
    namespace Names = CommonAppLogic::SharedSettings;
    const std::wstring path = context.settingsIni.empty() ? CommonAppLogic::GetSharedSettingsIniPath() : context.settingsIni;
    // A file that a user planted (or a folder of a user's) agrees to nothing.
    if (!CommonAppLogic::IsTrustedSettingsFile(path))
        return false;
    CommonAppLogic::CIniFile settings(path);
    return IsAgreedText(settings.GetValue(Names::kMainSection, Names::kDownloadEulaAgreed)) ||
           IsAgreedText(settings.GetValue(Names::kMainSection, Names::kOemEulaAgreed));
}

bool HandleUiEvent(IInstallSteps& steps, const CUiContext& context)
{
    const CRefPtr<CInstallerWindow> window = GetInstallerWindow();
    if (!window)
        return false;
    const std::wstring name = window->PopEvent();
    if (name.empty())
        return false;
    if (name == kEventCancelOnFinishPage || name == kEventFinish)
        OnFinish(steps, *window);
    else if (name == kEventCancel)
        OnCancel(steps, context, *window);
    else if (name == kEventBegin)
        OnBegin(steps, *window);
    else if (name == kEventLoaded)
        OnLoaded(steps, context, *window);
    else
        return false;
    return true;
}

} // namespace Installer
} // namespace Lm
