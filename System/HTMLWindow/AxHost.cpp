#include "System/HTMLWindow/AxHost.h"

#include <exdisp.h>
#include <mshtmhst.h>
#include <ocidl.h>

#include <string>

#include "System/HTMLWindow/AxHostModule.h"
#include "System/RefPtr.h"

namespace Lm {
namespace System {
namespace HTMLWindow {

const wchar_t kAxHostWindowClass[] = L"AtlAxWin140";

namespace {

template <typename T>
void ReleaseAndClear(T*& pointer)
{
    if (pointer) {
        T* old = pointer;
        pointer = nullptr;
        old->Release();
    }
}

wchar_t* CoTaskCopy(const wchar_t* text, UINT length)
{
    wchar_t* copy = static_cast<wchar_t*>(CoTaskMemAlloc((length + 1) * sizeof(wchar_t)));
    if (copy) {
        memcpy(copy, text, length * sizeof(wchar_t));
        copy[length] = L'\0';
    }
    return copy;
}

// The host object of one host window: the control's sites, and the forwarding of the control's
// UI questions. Reference counted; the window holds one reference from WM_CREATE to WM_NCDESTROY.
class CAxHost final : public IOleClientSite, public IOleInPlaceSite, public IDocHostUIHandler {
public:
    explicit CAxHost(HWND window) : m_window(window), m_frame(*this), m_module(GetAtlModuleHolder())
    {
        m_module->Lock();
    }

    CAxHost(const CAxHost&) = delete;
    CAxHost& operator=(const CAxHost&) = delete;

    static CAxHost* FromWindow(HWND window)
    {
        if (!window || !::IsWindow(window))
            return nullptr;
        DWORD processId = 0;
        ::GetWindowThreadProcessId(window, &processId);
        wchar_t name[64] = {};
        if (processId != ::GetCurrentProcessId() || !::GetClassNameW(window, name, 64) ||
            lstrcmpW(name, kAxHostWindowClass) != 0)
            return nullptr;
        return reinterpret_cast<CAxHost*>(::GetWindowLongPtrW(window, 0));
    }

    // The control named by the text: a CLSID, a ProgID, or the web browser navigating to the text.
    HRESULT CreateControl(const wchar_t* text)
    {
        CLSID clsid = CLSID_WebBrowser;
        bool navigate = true;
        if (text[0] == L'{' && SUCCEEDED(CLSIDFromString(text, &clsid))) {
            navigate = false;
        } else if (text[0] && SUCCEEDED(CLSIDFromProgID(text, &clsid))) {
            navigate = false;
        } else {
            clsid = CLSID_WebBrowser;
        }
        HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                      reinterpret_cast<void**>(&m_control));
        if (FAILED(hr))
            return hr;
        hr = m_control->SetClientSite(this);
        if (FAILED(hr))
            return hr;
        IPersistStreamInit* persist = nullptr;
        if (SUCCEEDED(m_control->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)))) {
            persist->InitNew();
            persist->Release();
        }
        RECT client = {};
        ::GetClientRect(m_window, &client);
        hr = m_control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, m_window, &client);
        if (FAILED(hr))
            return hr;
        if (navigate && text[0]) {
            IWebBrowser2* browser = nullptr;
            if (SUCCEEDED(m_control->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser)))) {
                BSTR url = SysAllocString(text);
                VARIANT empty;
                VariantInit(&empty);
                browser->Navigate(url, &empty, &empty, &empty, &empty);
                SysFreeString(url);
                browser->Release();
            }
        }
        return S_OK;
    }

    // Deactivates, closes and releases the control and drops the external handler.
    void CloseControl()
    {
        if (m_inPlaceObject)
            m_inPlaceObject->InPlaceDeactivate();
        ReleaseAndClear(m_inPlaceObject);
        ReleaseAndClear(m_activeObject);
        if (m_control) {
            m_control->Close(OLECLOSE_NOSAVE);
            m_control->SetClientSite(nullptr);
        }
        ReleaseAndClear(m_control);
        ReleaseAndClear(m_handler);
    }

    void Resize()
    {
        if (!m_inPlaceObject)
            return;
        RECT client = {};
        ::GetClientRect(m_window, &client);
        m_inPlaceObject->SetObjectRects(&client, &client);
    }

    void Focus()
    {
        if (m_control) {
            RECT client = {};
            ::GetClientRect(m_window, &client);
            m_control->DoVerb(OLEIVERB_UIACTIVATE, nullptr, this, 0, m_window, &client);
        }
    }

    void SetExternalUIHandler(IDocHostUIHandlerDispatch* handler)
    {
        if (handler)
            handler->AddRef();
        ReleaseAndClear(m_handler);
        m_handler = handler;
    }

    void SetMessageHook(IAxHostMessageHook* hook) { m_hook = hook; }
    IAxHostMessageHook* GetMessageHook() const { return m_hook; }

    HRESULT QueryControl(REFIID iid, void** object)
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        return m_control ? m_control->QueryInterface(iid, object) : E_NOINTERFACE;
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
            *object = static_cast<IOleClientSite*>(this);
        else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite))
            *object = static_cast<IOleInPlaceSite*>(this);
        else if (IsEqualIID(riid, IID_IDocHostUIHandler))
            *object = static_cast<IDocHostUIHandler*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG count = InterlockedDecrement(&m_references);
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override
    {
        if (moniker)
            *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override
    {
        if (container)
            *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override
    {
        if (!window)
            return E_POINTER;
        *window = m_window;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override
    {
        if (!m_inPlaceObject && m_control)
            m_control->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&m_inPlaceObject));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                               LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO frameInfo) override
    {
        if (frame) {
            *frame = &m_frame;
            m_frame.AddRef();
        }
        if (document)
            *document = nullptr;
        RECT client = {};
        ::GetClientRect(m_window, &client);
        if (position)
            *position = client;
        if (clip)
            *clip = client;
        if (frameInfo) {
            frameInfo->fMDIApp = FALSE;
            frameInfo->hwndFrame = m_window;
            frameInfo->haccel = nullptr;
            frameInfo->cAccelEntries = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override
    {
        ReleaseAndClear(m_inPlaceObject);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT rect) override
    {
        if (m_inPlaceObject && rect)
            m_inPlaceObject->SetObjectRects(rect, rect);
        return S_OK;
    }

    // IDocHostUIHandler: each question goes to the external handler; a missing or failing
    // handler gives the answer that lets the control do what it does by default.
    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD id, POINT* point, IUnknown* commandTarget,
                                              IDispatch* object) override
    {
        HRESULT answer = S_FALSE;
        if (m_handler && point &&
            SUCCEEDED(m_handler->ShowContextMenu(id, point->x, point->y, commandTarget, object, &answer)))
            return answer;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override
    {
        if (!info)
            return E_POINTER;
        DWORD flags = 0;
        DWORD doubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        if (m_handler && FAILED(m_handler->GetHostInfo(&flags, &doubleClick))) {
            flags = 0;
            doubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        }
        info->dwFlags = flags;
        info->dwDoubleClick = doubleClick;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD id, IOleInPlaceActiveObject* activeObject, IOleCommandTarget* commandTarget,
                                     IOleInPlaceFrame* frame, IOleInPlaceUIWindow* document) override
    {
        HRESULT answer = S_FALSE;
        if (m_handler && SUCCEEDED(m_handler->ShowUI(id, activeObject, commandTarget, frame, document, &answer)))
            return answer;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE HideUI() override
    {
        if (m_handler)
            m_handler->HideUI();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UpdateUI() override
    {
        if (m_handler)
            m_handler->UpdateUI();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override
    {
        if (m_handler)
            m_handler->EnableModeless(enable ? VARIANT_TRUE : VARIANT_FALSE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override
    {
        if (m_handler)
            m_handler->OnDocWindowActivate(activate ? VARIANT_TRUE : VARIANT_FALSE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override
    {
        if (m_handler)
            m_handler->OnFrameWindowActivate(activate ? VARIANT_TRUE : VARIANT_FALSE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) override
    {
        if (m_handler && border)
            m_handler->ResizeBorder(border->left, border->top, border->right, border->bottom, window,
                                    frameWindow ? VARIANT_TRUE : VARIANT_FALSE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message, const GUID* commandGroup, DWORD commandId) override
    {
        if (!m_handler || !message)
            return S_FALSE;
        BSTR group = nullptr;
        if (commandGroup) {
            wchar_t text[64] = {};
            if (StringFromGUID2(*commandGroup, text, 64))
                group = SysAllocString(text);
        }
        HRESULT answer = S_FALSE;
        const HRESULT hr = m_handler->TranslateAccelerator(reinterpret_cast<DWORD_PTR>(message->hwnd), message->message,
                                                           message->wParam, message->lParam, group, commandId, &answer);
        SysFreeString(group);
        return SUCCEEDED(hr) ? answer : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override
    {
        if (!key)
            return E_POINTER;
        *key = nullptr;
        BSTR path = nullptr;
        if (m_handler && SUCCEEDED(m_handler->GetOptionKeyPath(&path, reserved)) && path) {
            *key = CoTaskCopy(path, SysStringLen(path));
            SysFreeString(path);
            return *key ? S_OK : E_OUTOFMEMORY;
        }
        SysFreeString(path);
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget* controlTarget, IDropTarget** target) override
    {
        if (!target)
            return E_POINTER;
        *target = nullptr;
        IUnknown* replacement = nullptr;
        if (m_handler && SUCCEEDED(m_handler->GetDropTarget(controlTarget, &replacement)) && replacement) {
            const HRESULT hr = replacement->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(target));
            replacement->Release();
            return SUCCEEDED(hr) ? S_OK : E_NOTIMPL;
        }
        if (replacement)
            replacement->Release();
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override
    {
        if (!external)
            return E_POINTER;
        *external = nullptr;
        if (m_handler && SUCCEEDED(m_handler->GetExternal(external)) && *external)
            return S_OK;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD translate, LPWSTR urlIn, LPWSTR* urlOut) override
    {
        if (!urlOut)
            return E_POINTER;
        *urlOut = nullptr;
        if (!m_handler)
            return S_FALSE;
        BSTR in = SysAllocString(urlIn ? urlIn : L"");
        BSTR out = nullptr;
        const HRESULT hr = m_handler->TranslateUrl(translate, in, &out);
        SysFreeString(in);
        if (hr == S_OK && out) {
            *urlOut = CoTaskCopy(out, SysStringLen(out));
            SysFreeString(out);
            return *urlOut ? S_OK : E_OUTOFMEMORY;
        }
        SysFreeString(out);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject* data, IDataObject** replacement) override
    {
        if (!replacement)
            return E_POINTER;
        *replacement = nullptr;
        IUnknown* filtered = nullptr;
        if (m_handler && SUCCEEDED(m_handler->FilterDataObject(data, &filtered)) && filtered) {
            const HRESULT hr = filtered->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(replacement));
            filtered->Release();
            return SUCCEEDED(hr) ? S_OK : S_FALSE;
        }
        if (filtered)
            filtered->Release();
        return S_FALSE;
    }

private:
    // The frame the control is given: no menus, no tool space, keys not translated here. It
    // lives inside the host and shares its reference count.
    class CFrame : public IOleInPlaceFrame {
    public:
        explicit CFrame(CAxHost& host) : m_host(host) {}

        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
        {
            if (!object)
                return E_POINTER;
            *object = nullptr;
            if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow) ||
                IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame)) {
                *object = static_cast<IOleInPlaceFrame*>(this);
                AddRef();
                return S_OK;
            }
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return m_host.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return m_host.Release(); }

        HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override { return m_host.GetWindow(window); }
        HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

        HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
        HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
        HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
        HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* activeObject, LPCOLESTR) override
        {
            if (activeObject)
                activeObject->AddRef();
            ReleaseAndClear(m_host.m_activeObject);
            m_host.m_activeObject = activeObject;
            return S_OK;
        }

        HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
        HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
        HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
        HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    private:
        CAxHost& m_host;
    };

    ~CAxHost()
    {
        CloseControl();
        m_module->Unlock();
    }

    volatile LONG m_references = 0;
    HWND m_window;
    CFrame m_frame;
    CRefPtr<CAxHostModule> m_module;
    IOleObject* m_control = nullptr;
    IOleInPlaceObject* m_inPlaceObject = nullptr;
    IOleInPlaceActiveObject* m_activeObject = nullptr;
    IDocHostUIHandlerDispatch* m_handler = nullptr;
    IAxHostMessageHook* m_hook = nullptr;
};

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
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
        if (host) {
            ::SetWindowLongPtrW(window, 0, 0);
            host->CloseControl();
            host->Release();
        }
        break;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
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
