#include "Installer/InstallerWindow.h"

#include <shlwapi.h>

#include "CommonAppLogic/DpCode.h"
#include "CommonAppLogic/UILanguage.h"
#include "Installer/GuardedPointer.h"
#include "Installer/InstallerMessageTable.h"
#include "Installer/PageProtocol.h"
#include "System/Exception.h"
#include "System/HTMLWindow/HTMLDispatch.h"
#include "System/Log.h"
#include "System/String/StringUtils.h"
#include "System/Win32/RegistryKey.h"

namespace Lm {
namespace Installer {

using System::CException;
using System::CRefPtr;
using System::Win32::CScopedLock;

namespace {

const int kWindowWidth = 500;
const int kWindowHeight = 400;

RECT CentredWindowRect()
{
    const int left = (::GetSystemMetrics(SM_CXSCREEN) - kWindowWidth) / 2;
    const int top = (::GetSystemMetrics(SM_CYSCREEN) - kWindowHeight) / 2;
    return RECT{left, top, left + kWindowWidth, top + kWindowHeight};
}

std::wstring ParentFolder(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix)
{
    return text.size() >= prefix.size() &&
           ::CompareStringOrdinal(text.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                  static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

bool IsDrivePath(const std::wstring& text)
{
    return text.size() >= 3 && iswalpha(text[0]) && text[1] == L':' && (text[2] == L'\\' || text[2] == L'/');
}

bool IsUncPath(const std::wstring& text)
{
    return text.size() >= 3 && (text[0] == L'\\' || text[0] == L'/') && (text[1] == L'\\' || text[1] == L'/');
}

// The local path a navigation address names (a plain path, or a file: URL without its query
// and fragment); empty for any other address.
std::wstring LocalPathOf(const std::wstring& url)
{
    if (IsDrivePath(url) || IsUncPath(url))
        return url;
    if (!StartsWithNoCase(url, L"file:"))
        return std::wstring();
    std::wstring address = url.substr(0, url.find_first_of(L"?#"));
    wchar_t path[MAX_PATH * 2] = {};
    DWORD length = MAX_PATH * 2;
    if (SUCCEEDED(::PathCreateFromUrlW(address.c_str(), path, &length, 0)))
        address = path;
    else
        address = address.substr(5);
    return IsDrivePath(address) || IsUncPath(address) ? address : std::wstring();
}

std::wstring FullPath(const std::wstring& path)
{
    wchar_t full[MAX_PATH * 2] = {};
    const DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    if (length == 0 || length >= MAX_PATH * 2)
        return std::wstring();
    std::wstring result(full, length);
    while (result.size() > 3 && result.back() == L'\\')
        result.pop_back();
    return result;
}

void LogScriptFailure(const std::wstring& script, const CException& exception)
{
    System::CLog::WriteLine(L"Installer page: the script \"" + script + L"\" failed\n" + exception.ToString());
}

CGuardedPointer<CInstallerWindow>& WindowPointer()
{
    static CGuardedPointer<CInstallerWindow>* pointer = new CGuardedPointer<CInstallerWindow>();
    return *pointer;
}

} // namespace

bool IsPageNavigationAllowed(const std::wstring& url, const std::wstring& pageFolder)
{
    if (::CompareStringOrdinal(url.c_str(), -1, L"about:blank", -1, TRUE) == CSTR_EQUAL)
        return true;
    const std::wstring path = LocalPathOf(url);
    if (path.empty())
        return false;
    const std::wstring target = FullPath(path);
    const std::wstring folder = FullPath(pageFolder);
    if (target.empty() || folder.empty())
        return false;
    return target.size() > folder.size() + 1 && StartsWithNoCase(target, folder + L"\\");
}

System::Win32::CEvent& UiQuitEvent()
{
    static System::Win32::CEvent* event = new System::Win32::CEvent(false, true);
    return *event;
}

CRefPtr<CInstallerWindow> GetInstallerWindow()
{
    return WindowPointer().Get();
}

void SetInstallerWindow(const CRefPtr<CInstallerWindow>& window)
{
    WindowPointer().Set(window);
}

CInstallerWindow::CInstallerWindow(const std::wstring& pageAddress, const CUiContext& context)
    : CComSession(),
      CHTMLWindow(nullptr, CentredWindowRect(), L"about:blank", WS_VISIBLE, 0, new System::HTMLWindow::CHTMLDispatch()),
      m_commandsDrained(true, true),
      m_context(context),
      m_pageAddress(pageAddress),
      m_pageFolder(ParentFolder(pageAddress))
{
    const InstallerMessageRow& row = GetInstallerMessageRow(context.languageIndex);
    SetText(InstallerMessageText(row, kMessageCaption));
    GetSetEventSignal().Connect(this, &CInstallerWindow::OnSetEvent);
    SetValue(kValueLocale, CommonAppLogic::GetLanguageTag(context.languageIndex));
    SetValue(kValueBrandName, CommonAppLogic::BuildBrand);
    m_navigatedAt = ::GetTickCount64();
    Navigate(pageAddress);
}

CInstallerWindow::~CInstallerWindow()
{
    DisconnectAll();
}

void CInstallerWindow::PostCommand(const std::wstring& text)
{
    CScopedLock guard(m_commandLock);
    m_commands.push_back(text);
    if (m_drained) {
        m_commandsDrained.Reset();
        m_drained = false;
    }
}

void CInstallerWindow::PostShow()
{
    PostCommand(kCommandShow);
}

void CInstallerWindow::PostHide()
{
    PostCommand(kCommandHide);
}

void CInstallerWindow::PostClose()
{
    PostCommand(kCommandClose);
}

void CInstallerWindow::ProcessCommands()
{
    std::vector<std::wstring> commands;
    {
        CScopedLock guard(m_commandLock);
        commands.swap(m_commands);
    }
    for (const std::wstring& command : commands) {
        if (command == kCommandClose) {
            OnClose();
        } else if (command == kCommandShow) {
            ShowAndRaise(true);
        } else if (command == kCommandHide) {
            ShowAndRaise(false);
        } else {
            if (command == kScriptShowMain || command == kScriptBeginInstall)
                m_beginAllowed = true;
            try {
                ExecScript(command);
            } catch (const CException& exception) {
                // The page goes on without this one script; the next commands still run.
                LogScriptFailure(command, exception);
            }
        }
    }
    CScopedLock guard(m_commandLock);
    if (m_commands.empty() && !m_drained) {
        m_commandsDrained.Set();
        m_drained = true;
    }
}

bool CInstallerWindow::WaitCommandsDrained(HANDLE uiThread)
{
    HANDLE handles[2] = {m_commandsDrained.GetHandle(), uiThread};
    const DWORD result = ::WaitForMultipleObjects(uiThread ? 2 : 1, handles, FALSE, INFINITE);
    return result == WAIT_OBJECT_0;
}

std::wstring CInstallerWindow::PopEvent()
{
    CScopedLock guard(m_eventLock);
    if (m_events.empty())
        return std::wstring();
    std::wstring name = m_events.front();
    m_events.erase(m_events.begin());
    return name;
}

void CInstallerWindow::QueueEvent(const std::wstring& name)
{
    CScopedLock guard(m_eventLock);
    m_events.push_back(name);
}

void CInstallerWindow::ShowAndRaise(bool show)
{
    const HWND window = GetHwnd();
    ::ShowWindow(window, show ? SW_SHOW : SW_HIDE);
    for (int i = 0; i < 2; ++i) {
        ::Sleep(50);
        ::BringWindowToTop(window);
    }
}

void CInstallerWindow::OnClose()
{
    CHTMLBase::OnClose();
    UiQuitEvent().Set();
}

void CInstallerWindow::OnSetEvent(System::HTMLWindow::CHTMLBase*, DISPPARAMS* params, std::wstring*)
{
    if (!params || params->cArgs == 0 || !params->rgvarg)
        return;
    // The first argument of the call is the last of the array.
    const VARIANT& first = params->rgvarg[params->cArgs - 1];
    if (V_VT(&first) != VT_BSTR)
        return;
    const std::wstring name = V_BSTR(&first) ? std::wstring(V_BSTR(&first), SysStringLen(V_BSTR(&first))) : L"";
    if (name == kEventReadRegValues) {
        ReadRegValues();
        return;
    }
    if (name == kEventLoaded)
        m_pageLoaded = true;
    if (name == kEventBegin && !m_beginAllowed)
        return; // raised before the licence was shown (or BeginInstall ran): not an agreement
    QueueEvent(name);
}

void CInstallerWindow::ReadRegValues()
{
    std::wstring install;
    std::wstring download;
    try {
        System::Win32::CRegistryKey key(m_context.statusKey, true);
        install = key.GetString(kInstallProgressValue, L"");
        download = key.GetString(kDownloadProgressValue, L"");
    } catch (const CException&) {
        // No key yet, or a value of another type: the bar stays where it is.
        install = L"0";
        download = L"0";
    }
    SetValue(kValueInstallProgress, install);
    SetValue(kValueDownloadProgress, download);
}

std::wstring CInstallerWindow::GetPageFailure()
{
    if (!m_pageFailure.empty())
        return m_pageFailure;
    if (!m_pageLoaded && ::GetTickCount64() - m_navigatedAt > m_pageLoadTimeoutMs)
        m_pageFailure = L"The installer page did not load within " + std::to_wstring(m_pageLoadTimeoutMs / 1000) +
                        L" s: " + m_pageAddress;
    return m_pageFailure;
}

void CInstallerWindow::OnBeforeNavigate(const std::wstring& url, bool& cancel)
{
    cancel = !IsPageNavigationAllowed(url, m_pageFolder);
}

void CInstallerWindow::OnNavigateError(const std::wstring& url, LONG statusCode)
{
    // The control's first document is only a placeholder; the page and its frames count.
    if (::CompareStringOrdinal(url.c_str(), -1, L"about:blank", -1, TRUE) == CSTR_EQUAL)
        return;
    if (m_pageFailure.empty())
        m_pageFailure = System::String::FormatString(L"The installer page could not be loaded (status 0x%08X): %s",
                                                     static_cast<unsigned>(statusCode), url.c_str());
}

bool CInstallerWindow::OnWindowMessage(UINT message, WPARAM, LPARAM, LRESULT& result)
{
    switch (message) {
    case WM_CLOSE:
        switch (GetPageState()) {
        case PageStateLoading:
        case PageStateLicence:
        case PageStateBeginPosted:
            QueueEvent(kEventCancel);
            break;
        case PageStateFinishShown:
            QueueEvent(kEventFinish);
            break;
        default:
            break; // refused while installing; already closing once finished
        }
        result = 0;
        return true;
    case WM_DESTROY:
        // Not our own teardown (that removes this hook first): the window path is over.
        UiQuitEvent().Set();
        return false;
    default:
        return false;
    }
}

void CInstallerWindow::ShutDown()
{
    DisconnectAll();
    Destroy();
    ReleaseExternalObject();
    EndComSession();
}

} // namespace Installer
} // namespace Lm
