#include "System/HTMLWindow/HTMLBase.h"

#include <mshtml.h>

#include "System/Exception.h"
#include "System/HTMLWindow/HTMLDispatch.h"
#include "System/HTMLWindow/HTMLImpl.h"

namespace Lm {
namespace System {
namespace HTMLWindow {

using Win32::CBstr;
using Win32::CComPtrT;

namespace {

const char kSource[] = "Lm\\System\\HTMLWindow\\HTMLBase";

} // namespace

CHTMLBase::CHTMLBase(CHTMLDispatch* externalObject)
{
    AtlAxWinInit();
    if (externalObject) {
        externalObject->AddRef();
        m_external.Reset(externalObject);
        m_external->SetOwner(this);
    }
}

CHTMLBase::~CHTMLBase()
{
    Destroy();
    ReleaseExternalObject();
}

void CHTMLBase::ReleaseExternalObject()
{
    if (m_external) {
        m_external->SetOwner(nullptr);
        m_external.Close();
    }
}

void CHTMLBase::Init(HWND parent, const RECT& rect, DWORD style, DWORD exStyle)
{
    const char* function = "Lm::System::HTMLWindow::CHTMLBase::Init";
    if (FAILED(CHTMLImpl::CreateInstance(m_sink.Receive())) || !m_sink)
        ThrowException("CHTMLImpl::CreateInstance failure", kSource, 147, function);
    m_sink->SetOwner(this);

    Win32::CScopedLock guard(m_lock);
    CAxWindow host;
    if (!host.Create(parent, rect, L"about:blank", style, exStyle)) {
        m_sink.Close();
        ThrowException("CAxWindow::Create failure", kSource, 168, function);
    }
    m_hostWindow = host.m_hWnd;
    const auto fail = [&](const char* message, int line, bool releaseBrowser) {
        if (releaseBrowser)
            m_browser.Close();
        host.SetMessageHook(nullptr);
        ::DestroyWindow(m_hostWindow);
        m_hostWindow = nullptr;
        m_sink.Close();
        ThrowException(message, kSource, line, function);
    };
    if (FAILED(host.SetExternalUIHandler(m_external.Get())))
        fail("CAxWindow::SetExternalUIHandler failure", 178, false);
    if (FAILED(host.QueryControl(IID_IWebBrowser2, reinterpret_cast<void**>(m_browser.Receive()))) || !m_browser)
        fail("CAxWindow::QueryControl failure", 189, false);
    host.SetMessageHook(this);

    Stop();
    if (FAILED(m_browser->put_RegisterAsDropTarget(VARIANT_FALSE)))
        fail("IWebBrowser2::put_RegisterAsDropTarget failure", 209, true);
    if (FAILED(m_sink->Advise(m_browser.Get())))
        fail("DispEventAdvise failure", 218, true);
}

void CHTMLBase::Destroy()
{
    Win32::CScopedLock guard(m_lock);
    CAxWindow host(m_hostWindow);
    host.SetExternalUIHandler(nullptr);
    host.SetMessageHook(nullptr);
    if (m_browser) {
        if (m_sink)
            m_sink->Unadvise(m_browser.Get());
        m_browser.Close();
    }
    if (m_hostWindow && ::IsWindow(m_hostWindow) && ::DestroyWindow(m_hostWindow))
        m_hostWindow = nullptr;
    if (m_sink) {
        m_sink->SetOwner(nullptr);
        m_sink.Close();
    }
}

void CHTMLBase::Navigate(const std::wstring& url)
{
    if (!m_browser)
        return;
    if (m_sink) {
        m_sink->SetDocumentComplete(false);
        m_sink->SetNavigationStatus(kNavigationStatusIdle);
    }
    Win32::CScopedLock guard(m_lock);
    CBstr address(SysAllocString(url.c_str()));
    VARIANT empty;
    VariantInit(&empty);
    m_browser->Navigate(address.Get(), &empty, &empty, &empty, &empty);
}

bool CHTMLBase::IsBusy()
{
    if (!m_browser)
        return true;
    Win32::CScopedLock guard(m_lock);
    VARIANT_BOOL busy = VARIANT_TRUE;
    if (FAILED(m_browser->get_Busy(&busy)))
        return true;
    return busy != VARIANT_FALSE;
}

void CHTMLBase::Refresh()
{
    if (!m_browser)
        return;
    Win32::CScopedLock guard(m_lock);
    m_browser->Refresh();
}

void CHTMLBase::Stop()
{
    if (!m_browser)
        return;
    {
        Win32::CScopedLock guard(m_lock);
        m_browser->Stop();
    }
    if (m_sink) {
        m_sink->SetDocumentComplete(true);
        m_sink->SetNavigationStatus(kNavigationStatusIdle);
    }
}

std::wstring CHTMLBase::GetURL()
{
    if (!m_browser)
        return std::wstring();
    Win32::CScopedLock guard(m_lock);
    CBstr url;
    if (FAILED(m_browser->get_LocationURL(url.Receive())))
        ThrowException("IWebBrowser2::get_LocationURL failure", kSource, 778, "Lm::System::HTMLWindow::CHTMLBase::GetURL");
    return url ? std::wstring(url.Get(), SysStringLen(url.Get())) : std::wstring();
}

void CHTMLBase::ExecScript(const std::wstring& script)
{
    if (!m_browser)
        return;
    const char* function = "Lm::System::HTMLWindow::CHTMLBase::ExecScript";
    Win32::CScopedLock guard(m_lock);
    CComPtrT<IDispatch> documentDispatch;
    if (FAILED(m_browser->get_Document(documentDispatch.Receive())) || !documentDispatch)
        ThrowException("IWebBrowser2::get_Document failure", kSource, 941, function);
    CComPtrT<IHTMLDocument2> document;
    if (FAILED(documentDispatch->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(document.Receive()))) ||
        !document)
        ThrowException("IWebBrowser2::get_Document result not an IHTMLDocument2", kSource, 948, function);
    CComPtrT<IHTMLWindow2> window;
    if (FAILED(document->get_parentWindow(window.Receive())) || !window)
        ThrowException("IHTMLDocument2::get_parentWindow failure", kSource, 955, function);
    CBstr code(SysAllocString(script.c_str()));
    CBstr language(SysAllocString(L""));
    VARIANT value;
    VariantInit(&value);
    const HRESULT ran = window->execScript(code.Get(), language.Get(), &value);
    VariantClear(&value);
    if (FAILED(ran))
        ThrowException("IHTMLWindow2::execScript failure", kSource, 965, function);
}

void CHTMLBase::OnBeforeNavigate(const std::wstring& /*url*/, bool& cancel)
{
    cancel = false;
}

void CHTMLBase::OnNavigateComplete(const std::wstring& /*url*/) {}

void CHTMLBase::OnNavigateError(const std::wstring& /*url*/, LONG /*statusCode*/) {}

void CHTMLBase::ResizeClient(int width, int height)
{
    if (!m_hostWindow || !::IsWindow(m_hostWindow))
        return;
    const char* function = "Lm::System::HTMLWindow::CHTMLBase::ResizeClient";
    RECT window = {};
    RECT client = {};
    if (!::GetWindowRect(m_hostWindow, &window) || !::GetClientRect(m_hostWindow, &client))
        ThrowException("CAxWindow::ResizeClient failure", kSource, 474, function);
    const DWORD style = static_cast<DWORD>(::GetWindowLongW(m_hostWindow, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongW(m_hostWindow, GWL_EXSTYLE));
    const bool hasMenu = !(style & WS_CHILD) && ::GetMenu(m_hostWindow) != nullptr;
    RECT wanted = {0, 0, width < 0 ? client.right : width, height < 0 ? client.bottom : height};
    if (!::AdjustWindowRectEx(&wanted, style, hasMenu ? TRUE : FALSE, exStyle) ||
        !::SetWindowPos(m_hostWindow, nullptr, 0, 0, wanted.right - wanted.left, wanted.bottom - wanted.top,
                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE))
        ThrowException("CAxWindow::ResizeClient failure", kSource, 474, function);
}

void CHTMLBase::SetWindowPos(HWND insertAfter, const RECT& rect, UINT flags)
{
    if (!m_hostWindow || !::IsWindow(m_hostWindow))
        return;
    if (!::SetWindowPos(m_hostWindow, insertAfter, rect.left, rect.top, rect.right - rect.left,
                        rect.bottom - rect.top, flags))
        ThrowException("CAxWindow::SetWindowPos failure", kSource, 482, "Lm::System::HTMLWindow::CHTMLBase::SetWindowPos");
}

void CHTMLBase::OnClose() {}

std::wstring CHTMLBase::GetValue(const std::wstring& key)
{
    Win32::CScopedLock guard(m_valuesLock);
    const auto found = m_values.find(key);
    return found == m_values.end() ? std::wstring() : found->second;
}

void CHTMLBase::SetValue(const std::wstring& key, const std::wstring& value)
{
    Win32::CScopedLock guard(m_valuesLock);
    m_values[key] = value;
}

HWND CHTMLBase::GetHwnd()
{
    return m_hostWindow;
}

void CHTMLBase::SetText(const std::wstring& text)
{
    if (!m_hostWindow || !::IsWindow(m_hostWindow))
        return;
    if (!::SetWindowTextW(m_hostWindow, text.c_str()))
        ThrowException("CAxWindow::SetWindowText failure", kSource, 545, "Lm::System::HTMLWindow::CHTMLBase::SetText");
}

IWebBrowser2* CHTMLBase::GetBrowser()
{
    Win32::CScopedLock guard(m_lock);
    if (m_browser)
        m_browser->AddRef();
    return m_browser.Get();
}

bool CHTMLBase::IsDocumentComplete() const
{
    return m_sink && m_sink->IsDocumentComplete();
}

LONG CHTMLBase::GetNavigationStatus() const
{
    return m_sink ? m_sink->GetNavigationStatus() : kNavigationStatusIdle;
}

bool CHTMLBase::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

bool CHTMLBase::OnHostMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    // An exception ends at the host's window procedure.
    return OnWindowMessage(message, wParam, lParam, result);
}

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
