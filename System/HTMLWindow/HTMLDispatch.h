// The page's window.external object, which is also the browser control's host UI handler.
//
// CHTMLDispatchBase is the COM object (IUnknown, IDispatch and IDocHostUIHandlerDispatch in one
// v-table) with the method table that its type information is built from; CHTMLDispatch adds
// the four methods the page calls, each forwarded to the owning HTML window:
//
//   DISPID 0 Close()              the window's OnClose
//   DISPID 1 GetValue(Key)        the window's value for Key (empty when unknown)
//   DISPID 2 SetValue(Key, Value) stores Value for Key in the window
//   DISPID 3 SetEvent(Event)      fires the window's SetEvent signal with the raw arguments
//
// The UI answers make the page look and behave like an application window: no context menu,
// no help menu, no scroll bars, no inner border; keys and drops stay the control's own.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

#include "System/HTMLWindow/DocHostUIHandlerDispatch.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace System {
namespace HTMLWindow {

class CHTMLBase;

// DOCHOSTUIFLAG_DISABLE_HELP_MENU | DOCHOSTUIFLAG_SCROLL_NO | DOCHOSTUIFLAG_THEME |
// DOCHOSTUIFLAG_NO3DOUTERBORDER
const DWORD kHostUIFlags = 0x24000A;

enum ExternalDispId : DISPID {
    kDispIdClose = 0,
    kDispIdGetValue = 1,
    kDispIdSetValue = 2,
    kDispIdSetEvent = 3,
};

// SysAllocString that throws "SysAllocString failure" when it returns null.
BSTR AllocString(const wchar_t* text);

class CHTMLDispatchBase : public IDocHostUIHandlerDispatch {
public:
    CHTMLDispatchBase(const CHTMLDispatchBase&) = delete;
    CHTMLDispatchBase& operator=(const CHTMLDispatchBase&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch (Invoke is the derived class's)
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* dispIds) override;

    // IDocHostUIHandlerDispatch
    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD dwID, DWORD x, DWORD y, IUnknown* pcmdtReserved,
                                              IDispatch* pdispReserved, HRESULT* dwRetVal) override;
    HRESULT STDMETHODCALLTYPE GetHostInfo(DWORD* pdwFlags, DWORD* pdwDoubleClick) override;
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD dwID, IUnknown* pActiveObject, IUnknown* pCommandTarget, IUnknown* pFrame,
                                     IUnknown* pDoc, HRESULT* dwRetVal) override;
    HRESULT STDMETHODCALLTYPE HideUI() override;
    HRESULT STDMETHODCALLTYPE UpdateUI() override;
    HRESULT STDMETHODCALLTYPE EnableModeless(VARIANT_BOOL fEnable) override;
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(VARIANT_BOOL fActivate) override;
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(VARIANT_BOOL fActivate) override;
    HRESULT STDMETHODCALLTYPE ResizeBorder(long left, long top, long right, long bottom, IUnknown* pUIWindow,
                                           VARIANT_BOOL fFrameWindow) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(DWORD_PTR hWnd, DWORD nMessage, DWORD_PTR wParam, DWORD_PTR lParam,
                                                   BSTR bstrGuidCmdGroup, DWORD nCmdID, HRESULT* dwRetVal) override;
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(BSTR* pbstrKey, DWORD dw) override;
    HRESULT STDMETHODCALLTYPE GetDropTarget(IUnknown* pDropTarget, IUnknown** ppDropTarget) override;
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** ppDispatch) override;
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD dwTranslate, BSTR bstrURLIn, BSTR* pbstrURLOut) override;
    HRESULT STDMETHODCALLTYPE FilterDataObject(IUnknown* pDO, IUnknown** ppDORet) override;

    // The window whose methods the page reaches; not a counted reference. The window sets it at
    // its construction and clears it when it goes, so a late call from the control finds none.
    void SetOwner(CHTMLBase* owner) { m_owner = owner; }
    CHTMLBase* GetOwner() const { return m_owner; }

    LONG GetReferenceCount() const { return m_referenceCount; }

protected:
    CHTMLDispatchBase();
    // Frees every name and every parameter array (the type information and the method array go
    // with their owners).
    virtual ~CHTMLDispatchBase();

    // Appends one parameter (name widened, type) to the method at methodIndex.
    void AddMethodParam(size_t methodIndex, const char* name, VARTYPE type);

    CHTMLBase* m_owner = nullptr;
    std::vector<METHODDATA> m_methods;
    INTERFACEDATA m_interfaceData = {};
    Win32::CComPtrT<ITypeInfo> m_typeInfo;

private:
    volatile LONG m_referenceCount = 0;
};

class CHTMLDispatch : public CHTMLDispatchBase {
public:
    // Builds the method table and its type information; throws "CreateDispTypeInfo failure".
    CHTMLDispatch();

    // Checks, in this order: the interface id, the flags and DISPID, named arguments, the
    // argument array, count and types; then the call. No exception leaves it.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispId, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exceptionInfo, UINT* argumentError) override;

private:
    HRESULT Dispatch(DISPID dispId, DISPPARAMS* params, VARIANT* result);
};

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
