// The event sink of an HTML window: receives the browser control's DWebBrowserEvents2 and
// hands navigation to the owning window's hooks. It keeps the navigation state that the window
// reads: the document-complete flag and the navigation status (100 while a navigation is under
// way or after a stop, a failed navigation's status code after a NavigateError).
//
// Every handler does nothing until the sink is advised. New windows are always refused: the
// page's links never open a browser of their own (the window may run elevated).
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace Lm {
namespace System {
namespace HTMLWindow {

class CHTMLBase;

const LONG kNavigationStatusIdle = 100;

class CHTMLImpl : public IDispatch {
public:
    // A new sink with one reference held by the caller; never fails short of memory.
    static HRESULT CreateInstance(CHTMLImpl** sink);

    CHTMLImpl(const CHTMLImpl&) = delete;
    CHTMLImpl& operator=(const CHTMLImpl&) = delete;

    // IUnknown: IUnknown, IDispatch and DIID_DWebBrowserEvents2.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch: no type information; Invoke takes the events by DISPID.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* dispIds) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispId, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exceptionInfo, UINT* argumentError) override;

    // Connects to (disconnects from) the browser's DWebBrowserEvents2; Advise sets the advised flag.
    HRESULT Advise(IUnknown* browser);
    void Unadvise(IUnknown* browser);

    void SetOwner(CHTMLBase* owner) { m_owner = owner; }
    bool IsAdvised() const { return m_advised; }
    // For tests of the handlers without a browser behind them.
    void SetAdvisedForTest(bool advised) { m_advised = advised; }

    bool IsDocumentComplete() const { return InterlockedCompareExchange(&m_documentComplete, 0, 0) != 0; }
    void SetDocumentComplete(bool complete) { InterlockedExchange(&m_documentComplete, complete ? 1 : 0); }
    LONG GetNavigationStatus() const { return InterlockedCompareExchange(&m_navigationStatus, 0, 0); }
    void SetNavigationStatus(LONG status) { InterlockedExchange(&m_navigationStatus, status); }

private:
    CHTMLImpl() = default;
    virtual ~CHTMLImpl() = default;

    volatile LONG m_referenceCount = 0;
    CHTMLBase* m_owner = nullptr;
    bool m_advised = false;
    mutable volatile LONG m_documentComplete = 0;
    mutable volatile LONG m_navigationStatus = kNavigationStatusIdle;
    DWORD m_cookie = 0;
};

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
