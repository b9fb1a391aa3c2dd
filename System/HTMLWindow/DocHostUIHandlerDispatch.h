// The automation form of the browser control's host UI handler: the object that a host window
// is given as its external UI handler answers the control's UI questions through it, and the
// host window's own IDocHostUIHandler forwards every question to it (AxHost.h).
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace Lm {
namespace System {
namespace HTMLWindow {

// {425B5AF0-65F1-11d1-9611-0000F81E0D0D}
extern const IID IID_IDocHostUIHandlerDispatch;

// Methods in their published order (v-table slots 7 to 21 after IDispatch).
struct IDocHostUIHandlerDispatch : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD dwID, DWORD x, DWORD y, IUnknown* pcmdtReserved,
                                                      IDispatch* pdispReserved, HRESULT* dwRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHostInfo(DWORD* pdwFlags, DWORD* pdwDoubleClick) = 0;
    virtual HRESULT STDMETHODCALLTYPE ShowUI(DWORD dwID, IUnknown* pActiveObject, IUnknown* pCommandTarget,
                                             IUnknown* pFrame, IUnknown* pDoc, HRESULT* dwRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE HideUI() = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdateUI() = 0;
    virtual HRESULT STDMETHODCALLTYPE EnableModeless(VARIANT_BOOL fEnable) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnDocWindowActivate(VARIANT_BOOL fActivate) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(VARIANT_BOOL fActivate) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResizeBorder(long left, long top, long right, long bottom, IUnknown* pUIWindow,
                                                   VARIANT_BOOL fFrameWindow) = 0;
    virtual HRESULT STDMETHODCALLTYPE TranslateAccelerator(DWORD_PTR hWnd, DWORD nMessage, DWORD_PTR wParam,
                                                           DWORD_PTR lParam, BSTR bstrGuidCmdGroup, DWORD nCmdID,
                                                           HRESULT* dwRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOptionKeyPath(BSTR* pbstrKey, DWORD dw) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDropTarget(IUnknown* pDropTarget, IUnknown** ppDropTarget) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** ppDispatch) = 0;
    virtual HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD dwTranslate, BSTR bstrURLIn, BSTR* pbstrURLOut) = 0;
    virtual HRESULT STDMETHODCALLTYPE FilterDataObject(IUnknown* pDO, IUnknown** ppDORet) = 0;
};

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
