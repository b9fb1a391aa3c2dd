#include "System/HTMLWindow/AxHost.h"

#include <exdisp.h>
#include <ocidl.h>

#include "System/HTMLWindow/AxWindow.h"

namespace Lm {
namespace System {
namespace HTMLWindow {

using Win32::CBstr;
using Win32::CComPtrT;

namespace {

// Holds the object with a reference of its own (the old one released after).
template <typename Interface>
void Hold(CComPtrT<Interface>& holder, Interface* object)
{
    if (object == holder.Get())
        return;
    if (object)
        object->AddRef();
    holder.Reset(object);
}

wchar_t* CoTaskCopy(BSTR text)
{
    const UINT length = SysStringLen(text);
    wchar_t* copy = static_cast<wchar_t*>(CoTaskMemAlloc((length + 1) * sizeof(wchar_t)));
    if (copy) {
        memcpy(copy, text, length * sizeof(wchar_t));
        copy[length] = L'\0';
    }
    return copy;
}

} // namespace

CAxHost::CAxHost(HWND window) : m_window(window), m_frame(*this), m_module(GetAtlModuleHolder())
{
    m_module->Lock();
}

CAxHost::~CAxHost()
{
    CloseControl();
    m_module->Unlock();
}

CAxHost* CAxHost::FromWindow(HWND window)
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

HRESULT CAxHost::CreateControl(const wchar_t* text)
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
                                  reinterpret_cast<void**>(m_control.Receive()));
    if (FAILED(hr))
        return hr;
    hr = m_control->SetClientSite(this);
    if (FAILED(hr))
        return hr;
    CComPtrT<IPersistStreamInit> persist;
    if (SUCCEEDED(m_control->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(persist.Receive()))))
        persist->InitNew();
    RECT client = {};
    ::GetClientRect(m_window, &client);
    hr = m_control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, m_window, &client);
    if (FAILED(hr))
        return hr;
    if (navigate && text[0]) {
        CComPtrT<IWebBrowser2> browser;
        if (SUCCEEDED(m_control->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(browser.Receive())))) {
            CBstr url(SysAllocString(text));
            VARIANT empty;
            VariantInit(&empty);
            browser->Navigate(url.Get(), &empty, &empty, &empty, &empty);
        }
    }
    return S_OK;
}

void CAxHost::CloseControl()
{
    if (m_inPlaceObject)
        m_inPlaceObject->InPlaceDeactivate();
    m_inPlaceObject.Close();
    m_activeObject.Close();
    if (m_control) {
        m_control->Close(OLECLOSE_NOSAVE);
        m_control->SetClientSite(nullptr);
    }
    m_control.Close();
    m_handler.Close();
}

void CAxHost::Resize()
{
    if (!m_inPlaceObject)
        return;
    RECT client = {};
    ::GetClientRect(m_window, &client);
    m_inPlaceObject->SetObjectRects(&client, &client);
}

void CAxHost::Focus()
{
    if (m_control) {
        RECT client = {};
        ::GetClientRect(m_window, &client);
        m_control->DoVerb(OLEIVERB_UIACTIVATE, nullptr, this, 0, m_window, &client);
    }
}

void CAxHost::SetExternalUIHandler(IDocHostUIHandlerDispatch* handler)
{
    Hold(m_handler, handler);
}

HRESULT CAxHost::QueryControl(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    return m_control ? m_control->QueryInterface(iid, object) : E_NOINTERFACE;
}

// --- IUnknown

HRESULT CAxHost::QueryInterface(REFIID riid, void** object)
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

ULONG CAxHost::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_references));
}

ULONG CAxHost::Release()
{
    const LONG count = InterlockedDecrement(&m_references);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

// --- IOleClientSite

HRESULT CAxHost::SaveObject() { return E_NOTIMPL; }

HRESULT CAxHost::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (moniker)
        *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT CAxHost::GetContainer(IOleContainer** container)
{
    if (container)
        *container = nullptr;
    return E_NOINTERFACE;
}

HRESULT CAxHost::ShowObject() { return S_OK; }
HRESULT CAxHost::OnShowWindow(BOOL) { return S_OK; }
HRESULT CAxHost::RequestNewObjectLayout() { return E_NOTIMPL; }

// --- IOleWindow

HRESULT CAxHost::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = m_window;
    return S_OK;
}

HRESULT CAxHost::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

// --- IOleInPlaceSite

HRESULT CAxHost::CanInPlaceActivate() { return S_OK; }

HRESULT CAxHost::OnInPlaceActivate()
{
    if (!m_inPlaceObject && m_control)
        m_control->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(m_inPlaceObject.Receive()));
    return S_OK;
}

HRESULT CAxHost::OnUIActivate() { return S_OK; }

HRESULT CAxHost::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO frameInfo)
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

HRESULT CAxHost::Scroll(SIZE) { return E_NOTIMPL; }
HRESULT CAxHost::OnUIDeactivate(BOOL) { return S_OK; }

HRESULT CAxHost::OnInPlaceDeactivate()
{
    m_inPlaceObject.Close();
    return S_OK;
}

HRESULT CAxHost::DiscardUndoState() { return E_NOTIMPL; }
HRESULT CAxHost::DeactivateAndUndo() { return E_NOTIMPL; }

HRESULT CAxHost::OnPosRectChange(LPCRECT rect)
{
    if (m_inPlaceObject && rect)
        m_inPlaceObject->SetObjectRects(rect, rect);
    return S_OK;
}

// --- IDocHostUIHandler

HRESULT CAxHost::ShowContextMenu(DWORD id, POINT* point, IUnknown* commandTarget, IDispatch* object)
{
    HRESULT answer = S_FALSE;
    if (m_handler && point &&
        SUCCEEDED(m_handler->ShowContextMenu(id, point->x, point->y, commandTarget, object, &answer)))
        return answer;
    return S_FALSE;
}

HRESULT CAxHost::GetHostInfo(DOCHOSTUIINFO* info)
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

HRESULT CAxHost::ShowUI(DWORD id, IOleInPlaceActiveObject* activeObject, IOleCommandTarget* commandTarget,
                        IOleInPlaceFrame* frame, IOleInPlaceUIWindow* document)
{
    HRESULT answer = S_FALSE;
    if (m_handler && SUCCEEDED(m_handler->ShowUI(id, activeObject, commandTarget, frame, document, &answer)))
        return answer;
    return S_FALSE;
}

HRESULT CAxHost::HideUI()
{
    if (m_handler)
        m_handler->HideUI();
    return S_OK;
}

HRESULT CAxHost::UpdateUI()
{
    if (m_handler)
        m_handler->UpdateUI();
    return S_OK;
}

HRESULT CAxHost::EnableModeless(BOOL enable)
{
    if (m_handler)
        m_handler->EnableModeless(enable ? VARIANT_TRUE : VARIANT_FALSE);
    return S_OK;
}

HRESULT CAxHost::OnDocWindowActivate(BOOL activate)
{
    if (m_handler)
        m_handler->OnDocWindowActivate(activate ? VARIANT_TRUE : VARIANT_FALSE);
    return S_OK;
}

HRESULT CAxHost::OnFrameWindowActivate(BOOL activate)
{
    if (m_handler)
        m_handler->OnFrameWindowActivate(activate ? VARIANT_TRUE : VARIANT_FALSE);
    return S_OK;
}

HRESULT CAxHost::ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow)
{
    if (m_handler && border)
        m_handler->ResizeBorder(border->left, border->top, border->right, border->bottom, window,
                                frameWindow ? VARIANT_TRUE : VARIANT_FALSE);
    return S_OK;
}

HRESULT CAxHost::TranslateAccelerator(LPMSG message, const GUID* commandGroup, DWORD commandId)
{
    if (!m_handler || !message)
        return S_FALSE;
    CBstr group;
    if (commandGroup) {
        wchar_t text[64] = {};
        if (StringFromGUID2(*commandGroup, text, 64))
            group.Reset(SysAllocString(text));
    }
    HRESULT answer = S_FALSE;
    const HRESULT hr = m_handler->TranslateAccelerator(reinterpret_cast<DWORD_PTR>(message->hwnd), message->message,
                                                       message->wParam, message->lParam, group.Get(), commandId,
                                                       &answer);
    return SUCCEEDED(hr) ? answer : S_FALSE;
}

HRESULT CAxHost::GetOptionKeyPath(LPOLESTR* key, DWORD reserved)
{
    if (!key)
        return E_POINTER;
    *key = nullptr;
    CBstr path;
    if (m_handler && SUCCEEDED(m_handler->GetOptionKeyPath(path.Receive(), reserved)) && path) {
        *key = CoTaskCopy(path.Get());
        return *key ? S_OK : E_OUTOFMEMORY;
    }
    return E_NOTIMPL;
}

HRESULT CAxHost::GetDropTarget(IDropTarget* controlTarget, IDropTarget** target)
{
    if (!target)
        return E_POINTER;
    *target = nullptr;
    CComPtrT<IUnknown> replacement;
    if (m_handler && SUCCEEDED(m_handler->GetDropTarget(controlTarget, replacement.Receive())) && replacement) {
        const HRESULT hr = replacement->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(target));
        return SUCCEEDED(hr) ? S_OK : E_NOTIMPL;
    }
    return E_NOTIMPL;
}

HRESULT CAxHost::GetExternal(IDispatch** external)
{
    if (!external)
        return E_POINTER;
    *external = nullptr;
    if (m_handler && SUCCEEDED(m_handler->GetExternal(external)) && *external)
        return S_OK;
    return E_NOTIMPL;
}

HRESULT CAxHost::TranslateUrl(DWORD translate, LPWSTR urlIn, LPWSTR* urlOut)
{
    if (!urlOut)
        return E_POINTER;
    *urlOut = nullptr;
    if (!m_handler)
        return S_FALSE;
    CBstr in(SysAllocString(urlIn ? urlIn : L""));
    CBstr out;
    const HRESULT hr = m_handler->TranslateUrl(translate, in.Get(), out.Receive());
    if (hr == S_OK && out) {
        *urlOut = CoTaskCopy(out.Get());
        return *urlOut ? S_OK : E_OUTOFMEMORY;
    }
    return S_FALSE;
}

HRESULT CAxHost::FilterDataObject(IDataObject* data, IDataObject** replacement)
{
    if (!replacement)
        return E_POINTER;
    *replacement = nullptr;
    CComPtrT<IUnknown> filtered;
    if (m_handler && SUCCEEDED(m_handler->FilterDataObject(data, filtered.Receive())) && filtered) {
        const HRESULT hr = filtered->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(replacement));
        return SUCCEEDED(hr) ? S_OK : S_FALSE;
    }
    return S_FALSE;
}

// --- the frame

HRESULT CAxHost::CFrame::QueryInterface(REFIID riid, void** object)
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

HRESULT CAxHost::CFrame::SetActiveObject(IOleInPlaceActiveObject* activeObject, LPCOLESTR)
{
    Hold(m_host.m_activeObject, activeObject);
    return S_OK;
}

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
