// The host object of one control-hosting window (AxWindow.h): the control's sites (client site,
// in-place site and frame) and an IDocHostUIHandler that forwards each question of the control
// to the external UI handler when one is set and otherwise gives the control's defaults.
// Reference counted; the window holds one reference from WM_CREATE to WM_NCDESTROY. All calls
// belong to the window's thread.
#pragma once

#include <windows.h>
#include <mshtmhst.h>
#include <ole2.h>

#include "System/HTMLWindow/AxHostMessageHook.h"
#include "System/HTMLWindow/AxHostModule.h"
#include "System/HTMLWindow/DocHostUIHandlerDispatch.h"
#include "System/RefPtr.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace System {
namespace HTMLWindow {

class CAxHost final : public IOleClientSite, public IOleInPlaceSite, public IDocHostUIHandler {
public:
    explicit CAxHost(HWND window);
    CAxHost(const CAxHost&) = delete;
    CAxHost& operator=(const CAxHost&) = delete;

    // The host of a host window of this process; null for any other window.
    static CAxHost* FromWindow(HWND window);

    // Creates the control named by the text: a CLSID, a ProgID, or the web browser navigating
    // to the text.
    HRESULT CreateControl(const wchar_t* text);
    // Deactivates, closes and releases the control and drops the external handler.
    void CloseControl();
    // Fits the control to the client area; gives it the focus.
    void Resize();
    void Focus();

    void SetExternalUIHandler(IDocHostUIHandlerDispatch* handler);
    void SetMessageHook(IAxHostMessageHook* hook) { m_hook = hook; }
    IAxHostMessageHook* GetMessageHook() const { return m_hook; }
    HRESULT QueryControl(REFIID iid, void** object);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override;
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override;
    HRESULT STDMETHODCALLTYPE ShowObject() override;
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL show) override;
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override;

    // IOleWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) override;

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnUIActivate() override;
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                               LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO frameInfo) override;
    HRESULT STDMETHODCALLTYPE Scroll(SIZE extent) override;
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL undoable) override;
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override;
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override;
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT rect) override;

    // IDocHostUIHandler: each question goes to the external handler; a missing or failing
    // handler gives the answer that lets the control do what it does by default.
    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD id, POINT* point, IUnknown* commandTarget,
                                              IDispatch* object) override;
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override;
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD id, IOleInPlaceActiveObject* activeObject, IOleCommandTarget* commandTarget,
                                     IOleInPlaceFrame* frame, IOleInPlaceUIWindow* document) override;
    HRESULT STDMETHODCALLTYPE HideUI() override;
    HRESULT STDMETHODCALLTYPE UpdateUI() override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message, const GUID* commandGroup, DWORD commandId) override;
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override;
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget* controlTarget, IDropTarget** target) override;
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override;
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD translate, LPWSTR urlIn, LPWSTR* urlOut) override;
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject* data, IDataObject** replacement) override;

private:
    // The frame the control is given: no menus, no tool space, keys not translated here. It
    // lives inside the host and shares its reference count.
    class CFrame : public IOleInPlaceFrame {
    public:
        explicit CFrame(CAxHost& host) : m_host(host) {}

        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
        ULONG STDMETHODCALLTYPE AddRef() override { return m_host.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return m_host.Release(); }

        HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override { return m_host.GetWindow(window); }
        HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

        HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
        HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
        HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
        HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* activeObject, LPCOLESTR) override;

        HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
        HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
        HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
        HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    private:
        CAxHost& m_host;
    };

    ~CAxHost();

    volatile LONG m_references = 0;
    HWND m_window;
    CFrame m_frame;
    CRefPtr<CAxHostModule> m_module;
    Win32::CComPtrT<IOleObject> m_control;
    Win32::CComPtrT<IOleInPlaceObject> m_inPlaceObject;
    Win32::CComPtrT<IOleInPlaceActiveObject> m_activeObject;
    Win32::CComPtrT<IDocHostUIHandlerDispatch> m_handler;
    IAxHostMessageHook* m_hook = nullptr;
};

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
