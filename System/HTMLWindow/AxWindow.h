// The control-hosting window class "AtlAxWin140" on plain Win32 and COM.
//
// A host window creates, when it is created, the control that its window text names: a CLSID in
// braces or a ProgID, or else (any other text, "about:blank" for instance) the web-browser
// control, which then navigates to the text. Its host object (CAxHost) hosts the control in place
// over the whole client area and offers the control the sites it asks for. Destroying the window
// closes and releases the control. All calls belong to the thread that created the window.
#pragma once

#include <windows.h>
#include <ole2.h>

#include "System/HTMLWindow/AxHostMessageHook.h"
#include "System/HTMLWindow/DocHostUIHandlerDispatch.h"

namespace Lm {
namespace System {
namespace HTMLWindow {

extern const wchar_t kAxHostWindowClass[]; // "AtlAxWin140"

// Registers the host window class once per process; true when it is registered.
bool AtlAxWinInit();

// A host window handle and what can be asked of it; it owns nothing.
class CAxWindow {
public:
    CAxWindow() = default;
    explicit CAxWindow(HWND window) : m_hWnd(window) {}

    // CreateWindowExW of the host class; null on failure (also when the control could not be made).
    HWND Create(HWND parent, const RECT& rect, const wchar_t* text, DWORD style, DWORD exStyle);

    // Sets (null: removes) the handler that the host's IDocHostUIHandler forwards to.
    HRESULT SetExternalUIHandler(IDocHostUIHandlerDispatch* handler);
    // Sets (null: removes) the hook that sees the window's messages first; it is removed by
    // itself once the window is gone.
    HRESULT SetMessageHook(IAxHostMessageHook* hook);
    // The hosted control through the given interface.
    HRESULT QueryControl(REFIID iid, void** object);
    // The host's own site object through the given interface (IOleClientSite, IDocHostUIHandler, ...).
    HRESULT QueryHost(REFIID iid, void** object);

    HWND m_hWnd = nullptr;
};

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
