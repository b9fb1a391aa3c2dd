#include "System/HTMLWindow/HTMLDispatch.h"

#include <cstdlib>
#include <new>

#include "System/Exception.h"
#include "System/HTMLWindow/HTMLBase.h"
#include "System/String/AnsiWide.h"

namespace Lm {
namespace System {
namespace HTMLWindow {

// {425B5AF0-65F1-11d1-9611-0000F81E0D0D}
const IID IID_IDocHostUIHandlerDispatch = {
    0x425B5AF0, 0x65F1, 0x11d1, {0x96, 0x11, 0x00, 0x00, 0xF8, 0x1E, 0x0D, 0x0D}};

namespace {

const char kSource[] = "Lm\\System\\HTMLWindow\\HTMLImpl";

struct MethodEntry {
    DISPID dispId;
    const wchar_t* name;
    VARTYPE returnType;
    const char* parameters[2];
    UINT parameterCount;
};

const MethodEntry kMethods[] = {
    {kDispIdClose, L"Close", VT_VOID, {nullptr, nullptr}, 0},
    {kDispIdGetValue, L"GetValue", VT_BSTR, {"Key", nullptr}, 1},
    {kDispIdSetValue, L"SetValue", VT_VOID, {"Key", "Value"}, 2},
    {kDispIdSetEvent, L"SetEvent", VT_VOID, {"Event", nullptr}, 1},
};

std::wstring BstrText(const VARIANT& value)
{
    return V_BSTR(&value) ? std::wstring(V_BSTR(&value), SysStringLen(V_BSTR(&value))) : std::wstring();
}

void SetExceptionInfo(EXCEPINFO* info, const std::wstring& description)
{
    if (!info)
        return;
    ZeroMemory(info, sizeof(*info));
    info->scode = E_FAIL;
    info->bstrDescription = SysAllocString(description.c_str());
}

} // namespace

BSTR AllocString(const wchar_t* text)
{
    BSTR result = SysAllocString(text);
    if (!result)
        ThrowException("SysAllocString failure", kSource, 25, "Lm::System::HTMLWindow::AllocString");
    return result;
}

// ---------------------------------------------------------------------------------------------
// CHTMLDispatchBase

CHTMLDispatchBase::CHTMLDispatchBase() = default;

CHTMLDispatchBase::~CHTMLDispatchBase()
{
    for (METHODDATA& method : m_methods) {
        SysFreeString(method.szName);
        for (UINT i = 0; i < method.cArgs; ++i)
            SysFreeString(method.ppdata[i].szName);
        free(method.ppdata);
    }
}

void CHTMLDispatchBase::AddMethodParam(size_t methodIndex, const char* name, VARTYPE type)
{
    METHODDATA& method = m_methods.at(methodIndex);
    void* grown = realloc(method.ppdata, (method.cArgs + 1) * sizeof(PARAMDATA));
    if (!grown)
        ThrowException("realloc failure", kSource, 323, "Lm::System::HTMLWindow::CHTMLDispatchBase::AddMethodParam");
    method.ppdata = static_cast<PARAMDATA*>(grown);
    PARAMDATA& parameter = method.ppdata[method.cArgs];
    parameter.szName = AllocString(Lm::AnsiToWide(name).c_str());
    parameter.vt = type;
    ++method.cArgs;
}

HRESULT CHTMLDispatchBase::QueryInterface(REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_IDocHostUIHandlerDispatch)) {
        *object = static_cast<IDocHostUIHandlerDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CHTMLDispatchBase::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_referenceCount));
}

ULONG CHTMLDispatchBase::Release()
{
    const LONG count = InterlockedDecrement(&m_referenceCount);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

HRESULT CHTMLDispatchBase::GetTypeInfoCount(UINT* count)
{
    if (count)
        *count = m_typeInfo ? 1 : 0;
    return S_OK;
}

HRESULT CHTMLDispatchBase::GetTypeInfo(UINT index, LCID /*locale*/, ITypeInfo** typeInfo)
{
    if (!typeInfo)
        return S_OK;
    *typeInfo = nullptr;
    if (index != 0 || !m_typeInfo)
        return DISP_E_BADINDEX;
    m_typeInfo->AddRef();
    *typeInfo = m_typeInfo.Get();
    return S_OK;
}

HRESULT CHTMLDispatchBase::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID /*locale*/, DISPID* dispIds)
{
    if (!m_typeInfo || !IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    return DispGetIDsOfNames(m_typeInfo.Get(), names, count, dispIds);
}

HRESULT CHTMLDispatchBase::ShowContextMenu(DWORD, DWORD, DWORD, IUnknown*, IDispatch*, HRESULT* dwRetVal)
{
    // Handled: the control shows no menu of its own.
    if (dwRetVal)
        *dwRetVal = S_OK;
    return S_OK;
}

HRESULT CHTMLDispatchBase::GetHostInfo(DWORD* pdwFlags, DWORD* pdwDoubleClick)
{
    if (pdwFlags)
        *pdwFlags = kHostUIFlags;
    if (pdwDoubleClick)
        *pdwDoubleClick = 0; // DOCHOSTUIDBLCLK_DEFAULT
    return S_OK;
}

HRESULT CHTMLDispatchBase::ShowUI(DWORD, IUnknown*, IUnknown*, IUnknown*, IUnknown*, HRESULT*)
{
    return E_NOTIMPL;
}

HRESULT CHTMLDispatchBase::HideUI()
{
    return S_OK;
}

HRESULT CHTMLDispatchBase::UpdateUI()
{
    return E_NOTIMPL;
}

HRESULT CHTMLDispatchBase::EnableModeless(VARIANT_BOOL)
{
    return E_NOTIMPL;
}

HRESULT CHTMLDispatchBase::OnDocWindowActivate(VARIANT_BOOL)
{
    return E_NOTIMPL;
}

HRESULT CHTMLDispatchBase::OnFrameWindowActivate(VARIANT_BOOL)
{
    return E_NOTIMPL;
}

HRESULT CHTMLDispatchBase::ResizeBorder(long, long, long, long, IUnknown*, VARIANT_BOOL)
{
    return E_NOTIMPL;
}

HRESULT CHTMLDispatchBase::TranslateAccelerator(DWORD_PTR, DWORD, DWORD_PTR, DWORD_PTR, BSTR, DWORD, HRESULT*)
{
    // The control handles its own keys.
    return E_NOTIMPL;
}

HRESULT CHTMLDispatchBase::GetOptionKeyPath(BSTR* pbstrKey, DWORD)
{
    if (pbstrKey)
        *pbstrKey = nullptr;
    return E_NOTIMPL;
}

HRESULT CHTMLDispatchBase::GetDropTarget(IUnknown*, IUnknown** ppDropTarget)
{
    if (ppDropTarget)
        *ppDropTarget = nullptr;
    return E_NOTIMPL;
}

HRESULT CHTMLDispatchBase::GetExternal(IDispatch** ppDispatch)
{
    if (!ppDispatch)
        return E_POINTER;
    *ppDispatch = this;
    AddRef();
    return S_OK;
}

HRESULT CHTMLDispatchBase::TranslateUrl(DWORD, BSTR, BSTR* pbstrURLOut)
{
    if (pbstrURLOut)
        *pbstrURLOut = nullptr;
    return S_FALSE;
}

HRESULT CHTMLDispatchBase::FilterDataObject(IUnknown*, IUnknown** ppDORet)
{
    if (ppDORet)
        *ppDORet = nullptr;
    return E_NOTIMPL;
}

// ---------------------------------------------------------------------------------------------
// CHTMLDispatch

CHTMLDispatch::CHTMLDispatch()
{
    m_methods.reserve(4);
    for (const MethodEntry& entry : kMethods) {
        METHODDATA method = {};
        method.dispid = entry.dispId;
        method.iMeth = static_cast<UINT>(entry.dispId);
        method.cc = CC_STDCALL;
        method.wFlags = DISPATCH_METHOD;
        method.vtReturn = VT_VOID;
        m_methods.push_back(method);
    }
    for (size_t i = 0; i < m_methods.size(); ++i) {
        m_methods[i].szName = AllocString(kMethods[i].name);
        m_methods[i].vtReturn = kMethods[i].returnType;
        for (UINT p = 0; p < kMethods[i].parameterCount; ++p)
            AddMethodParam(i, kMethods[i].parameters[p], VT_BSTR);
    }
    m_interfaceData.pmethdata = m_methods.data();
    m_interfaceData.cMembers = static_cast<UINT>(m_methods.size());
    if (FAILED(CreateDispTypeInfo(&m_interfaceData, LOCALE_SYSTEM_DEFAULT, m_typeInfo.Receive())) || !m_typeInfo)
        ThrowException("CreateDispTypeInfo failure", kSource, 381, "Lm::System::HTMLWindow::CHTMLDispatch::CHTMLDispatch");
}

HRESULT CHTMLDispatch::Invoke(DISPID dispId, REFIID riid, LCID /*locale*/, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exceptionInfo, UINT* argumentError)
{
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (!(flags & DISPATCH_METHOD) || dispId < kDispIdClose || dispId > kDispIdSetEvent)
        return DISP_E_MEMBERNOTFOUND;
    if (params && params->cNamedArgs > 0)
        return DISP_E_NONAMEDARGS;

    const METHODDATA& method = m_methods[static_cast<size_t>(dispId)];
    const bool hasArguments = params && params->cArgs > 0;
    if (hasArguments) {
        if (!params->rgvarg)
            return DISP_E_PARAMNOTOPTIONAL;
        if (dispId != kDispIdSetEvent) {
            if (params->cArgs != method.cArgs)
                return DISP_E_BADPARAMCOUNT;
            // Arguments arrive last first: parameter i is rgvarg[cArgs - 1 - i].
            for (UINT i = 0; i < method.cArgs; ++i) {
                const UINT position = params->cArgs - 1 - i;
                if (V_VT(&params->rgvarg[position]) != method.ppdata[i].vt) {
                    if (argumentError)
                        *argumentError = position;
                    return DISP_E_TYPEMISMATCH;
                }
            }
        }
    } else if (dispId == kDispIdGetValue || dispId == kDispIdSetValue) {
        return DISP_E_BADPARAMCOUNT;
    }

    try {
        return Dispatch(dispId, params, result);
    } catch (const CException& exception) {
        SetExceptionInfo(exceptionInfo, exception.Message());
        return DISP_E_EXCEPTION;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT CHTMLDispatch::Dispatch(DISPID dispId, DISPPARAMS* params, VARIANT* result)
{
    CHTMLBase* owner = m_owner;
    switch (dispId) {
    case kDispIdClose:
        if (owner)
            owner->OnClose();
        break;
    case kDispIdGetValue: {
        const std::wstring value = owner ? owner->GetValue(BstrText(params->rgvarg[0])) : std::wstring();
        if (result) {
            BSTR text = AllocString(value.c_str());
            VariantInit(result);
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = text;
        }
        break;
    }
    case kDispIdSetValue:
        if (owner)
            owner->SetValue(BstrText(params->rgvarg[1]), BstrText(params->rgvarg[0]));
        break;
    case kDispIdSetEvent: {
        std::wstring text;
        if (owner)
            owner->GetSetEventSignal().Fire(owner, params, &text);
        if (result) {
            BSTR answer = AllocString(text.c_str());
            VariantInit(result);
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = answer;
        }
        break;
    }
    default:
        break;
    }
    return S_OK;
}

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
