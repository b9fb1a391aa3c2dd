#include "System/HTMLWindow/AxWindow.h"

#include "System/HTMLWindow/AxHost.h"

namespace Lm {
namespace System {
namespace HTMLWindow {

const wchar_t kAxHostWindowClass[] = L"AtlAxWin140";

namespace {

// Lets the host of a window that goes go too; never throws.
void ReleaseHost(HWND window)
{
    CAxHost* host = reinterpret_cast<CAxHost*>(::SetWindowLongPtrW(window, 0, 0));
    if (host) {
        host->CloseControl();
        host->Release();
    }
}

LRESULT HandleHostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CAxHost* host = reinterpret_cast<CAxHost*>(::GetWindowLongPtrW(window, 0));
    if (host && host->GetMessageHook()) {
        LRESULT result = 0;
        IAxHostMessageHook* hook = host->GetMessageHook();
        if (message == WM_NCDESTROY)
            host->SetMessageHook(nullptr);
        if (hook->OnHostMessage(window, message, wParam, lParam, result) && message != WM_NCDESTROY)
            return result;
    }
    switch (message) {
    case WM_CREATE: {
        host = new CAxHost(window);
        host->AddRef();
        ::SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(host));
        const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        const wchar_t* text = create && create->lpszName ? create->lpszName : L"";
        if (FAILED(host->CreateControl(text)))
            return -1; // the window is destroyed again; WM_NCDESTROY releases the host
        return 0;
    }
    case WM_SIZE:
        if (host)
            host->Resize();
        break;
    case WM_SETFOCUS:
        if (host)
            host->Focus();
        return 0;
    case WM_DESTROY:
        if (host)
            host->CloseControl();
        break;
    case WM_NCDESTROY:
        ReleaseHost(window);
        break;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// The one edge of the host window's code: no exception leaves it (the system's window code
// between it and the caller cannot pass one on). A host that cannot be made (a failed
// allocation) fails the window's creation; a window that goes still lets its host go; any other
// message whose handling (the owner's hook) failed goes to DefWindowProc.
LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        return HandleHostMessage(window, message, wParam, lParam);
    } catch (...) {
        if (message == WM_CREATE)
            return -1;
        if (message == WM_NCDESTROY)
            ReleaseHost(window);
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

bool AtlAxWinInit()
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.cbWndExtra = sizeof(LONG_PTR);
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kAxHostWindowClass;
    if (::RegisterClassExW(&windowClass))
        return true;
    return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CAxWindow::Create(HWND parent, const RECT& rect, const wchar_t* text, DWORD style, DWORD exStyle)
{
    if (!AtlAxWinInit())
        return nullptr;
    m_hWnd = ::CreateWindowExW(exStyle, kAxHostWindowClass, text ? text : L"", style, rect.left, rect.top,
                               rect.right - rect.left, rect.bottom - rect.top, parent, nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
    return m_hWnd;
}

HRESULT CAxWindow::SetExternalUIHandler(IDocHostUIHandlerDispatch* handler)
{
    CAxHost* host = CAxHost::FromWindow(m_hWnd);
    if (!host)
        return E_FAIL;
    host->SetExternalUIHandler(handler);
    return S_OK;
}

HRESULT CAxWindow::SetMessageHook(IAxHostMessageHook* hook)
{
    CAxHost* host = CAxHost::FromWindow(m_hWnd);
    if (!host)
        return E_FAIL;
    host->SetMessageHook(hook);
    return S_OK;
}

HRESULT CAxWindow::QueryControl(REFIID iid, void** object)
{
    CAxHost* host = CAxHost::FromWindow(m_hWnd);
    if (!host) {
        if (object)
            *object = nullptr;
        return E_FAIL;
    }
    return host->QueryControl(iid, object);
}

HRESULT CAxWindow::QueryHost(REFIID iid, void** object)
{
    CAxHost* host = CAxHost::FromWindow(m_hWnd);
    if (!host) {
        if (object)
            *object = nullptr;
        return E_FAIL;
    }
    return host->QueryInterface(iid, object);
}

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
