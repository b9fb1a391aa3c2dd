#include "System/HTMLWindow/HTMLImpl.h"

#include <exdisp.h>
#include <exdispid.h>
#include <ocidl.h>

#include <new>

#include "System/HTMLWindow/HTMLBase.h"

namespace Lm {
namespace System {
namespace HTMLWindow {

namespace {

// The variant an event argument stands for: the control passes most of them by reference.
const VARIANT* Deref(const VARIANT& argument)
{
    if (V_VT(&argument) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(&argument))
        return V_VARIANTREF(&argument);
    return &argument;
}

bool ArgumentText(const DISPPARAMS* params, UINT position, std::wstring& text)
{
    if (!params || !params->rgvarg || position >= params->cArgs)
        return false;
    const VARIANT* value = Deref(params->rgvarg[position]);
    if (V_VT(value) == VT_BSTR) {
        text = V_BSTR(value) ? std::wstring(V_BSTR(value), SysStringLen(V_BSTR(value))) : std::wstring();
        return true;
    }
    if (V_VT(value) == (VT_BSTR | VT_BYREF) && V_BSTRREF(value)) {
        BSTR inner = *V_BSTRREF(value);
        text = inner ? std::wstring(inner, SysStringLen(inner)) : std::wstring();
        return true;
    }
    return false;
}

LONG ArgumentLong(const DISPPARAMS* params, UINT position)
{
    if (!params || !params->rgvarg || position >= params->cArgs)
        return 0;
    const VARIANT* value = Deref(params->rgvarg[position]);
    switch (V_VT(value)) {
    case VT_I4:
        return V_I4(value);
    case VT_I4 | VT_BYREF:
        return V_I4REF(value) ? *V_I4REF(value) : 0;
    case VT_UI4:
        return static_cast<LONG>(V_UI4(value));
    case VT_INT:
        return V_INT(value);
    default:
        return 0;
    }
}

void SetCancel(DISPPARAMS* params, UINT position, bool cancel)
{
    if (!params || !params->rgvarg || position >= params->cArgs)
        return;
    VARIANT& argument = params->rgvarg[position];
    if (V_VT(&argument) == (VT_BOOL | VT_BYREF) && V_BOOLREF(&argument))
        *V_BOOLREF(&argument) = cancel ? VARIANT_TRUE : VARIANT_FALSE;
}

} // namespace

HRESULT CHTMLImpl::CreateInstance(CHTMLImpl** sink)
{
    if (!sink)
        return E_POINTER;
    *sink = new (std::nothrow) CHTMLImpl();
    if (!*sink)
        return E_OUTOFMEMORY;
    (*sink)->AddRef();
    return S_OK;
}

HRESULT CHTMLImpl::QueryInterface(REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, DIID_DWebBrowserEvents2)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CHTMLImpl::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_referenceCount));
}

ULONG CHTMLImpl::Release()
{
    const LONG count = InterlockedDecrement(&m_referenceCount);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

HRESULT CHTMLImpl::GetTypeInfoCount(UINT* count)
{
    if (count)
        *count = 0;
    return S_OK;
}

HRESULT CHTMLImpl::GetTypeInfo(UINT, LCID, ITypeInfo** typeInfo)
{
    if (typeInfo)
        *typeInfo = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT CHTMLImpl::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

HRESULT CHTMLImpl::Invoke(DISPID dispId, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*)
{
    if (!m_advised)
        return S_OK;
    CHTMLBase* owner = m_owner;
    try {
        // Arguments arrive last first: rgvarg[0] is an event's last argument.
        switch (dispId) {
        case DISPID_BEFORENAVIGATE2: { // (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
            std::wstring url;
            ArgumentText(params, 5, url);
            bool cancel = false;
            if (owner)
                owner->OnBeforeNavigate(url, cancel);
            SetCancel(params, 0, cancel);
            break;
        }
        case DISPID_NEWWINDOW2: // (ppDisp, Cancel)
            SetCancel(params, 0, true);
            break;
        case DISPID_NEWWINDOW3: // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl)
            SetCancel(params, 3, true);
            break;
        case DISPID_NAVIGATECOMPLETE2: { // (pDisp, URL)
            std::wstring url;
            ArgumentText(params, 0, url);
            if (owner)
                owner->OnNavigateComplete(url);
            break;
        }
        case DISPID_DOCUMENTCOMPLETE: // (pDisp, URL)
            SetDocumentComplete(true);
            break;
        case DISPID_NAVIGATEERROR: { // (pDisp, URL, TargetFrameName, StatusCode, Cancel)
            const LONG status = ArgumentLong(params, 1);
            SetNavigationStatus(status);
            SetCancel(params, 0, true); // no error page of the control's own
            std::wstring url;
            ArgumentText(params, 3, url);
            if (owner)
                owner->OnNavigateError(url, status);
            break;
        }
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    } catch (...) {
        // An event handler's failure must not reach the control; the event's default stands.
        return S_OK;
    }
    return S_OK;
}

HRESULT CHTMLImpl::Advise(IUnknown* browser)
{
    if (!browser)
        return E_POINTER;
    IConnectionPointContainer* container = nullptr;
    HRESULT hr = browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
    if (FAILED(hr))
        return hr;
    IConnectionPoint* point = nullptr;
    hr = container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point);
    container->Release();
    if (FAILED(hr))
        return hr;
    hr = point->Advise(static_cast<IDispatch*>(this), &m_cookie);
    point->Release();
    if (SUCCEEDED(hr))
        m_advised = true;
    return hr;
}

void CHTMLImpl::Unadvise(IUnknown* browser)
{
    if (!m_advised || !browser)
        return;
    m_advised = false;
    IConnectionPointContainer* container = nullptr;
    if (FAILED(browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container))))
        return;
    IConnectionPoint* point = nullptr;
    if (SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point))) {
        point->Unadvise(m_cookie);
        point->Release();
    }
    container->Release();
    m_cookie = 0;
}

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
