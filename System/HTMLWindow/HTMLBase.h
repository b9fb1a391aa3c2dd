// An HTML page in the hosted web-browser control: the host window, the browser, its event sink
// and the page's external object; loads pages, runs script in them, keeps the table of named
// values that the page reads and writes, and carries the signal through which the page's
// SetEvent calls reach the program.
//
// Everything runs on the thread that called Init, except GetValue/SetValue (the value table has
// its own lock) and the browser lock, which other threads may take.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include <map>
#include <string>

#include "System/HTMLWindow/AxWindow.h"
#include "System/ReferenceCounted.h"
#include "System/Signal.h"
#include "System/Win32/CriticalSectionLock.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace System {
namespace HTMLWindow {

class CHTMLBase;
class CHTMLDispatch;
class CHTMLImpl;

// Fired by the page's window.external.SetEvent: the window, the raw call arguments (arguments
// last first, as IDispatch passes them; null when there are none) and the result text that an
// observer may fill (returned to the page when it asks for a result).
using SetEventSignal = CSignal<CHTMLBase*, DISPPARAMS*, std::wstring*>;

class CHTMLBase : public CReferenceCounted, private IAxHostMessageHook {
public:
    // Registers the host window class, stores the external object (one reference) and makes
    // this window its owner.
    explicit CHTMLBase(CHTMLDispatch* externalObject);
    ~CHTMLBase() override;

    // Creates the event sink, the host window (class "AtlAxWin140", first page "about:blank"),
    // installs the external object as its UI handler, takes the browser, stops it, refuses drops
    // and connects the sink. Throws with the failed step; what was built is released first.
    void Init(HWND parent, const RECT& rect, DWORD style, DWORD exStyle);

    virtual void Navigate(const std::wstring& url);
    virtual bool IsBusy();
    virtual void Refresh();
    virtual void Stop();
    virtual std::wstring GetURL();
    // Navigation hooks, called by the sink on the window's thread. The defaults allow every
    // navigation and do nothing.
    virtual void OnBeforeNavigate(const std::wstring& url, bool& cancel);
    virtual void OnNavigateComplete(const std::wstring& url);
    // A failed navigation (the control's error page is already refused); empty by default.
    virtual void OnNavigateError(const std::wstring& url, LONG statusCode);
    virtual void ResizeClient(int width, int height);
    virtual void SetWindowPos(HWND insertAfter, const RECT& rect, UINT flags);
    // The page's Close(); nothing here.
    virtual void OnClose();
    virtual std::wstring GetValue(const std::wstring& key);
    virtual void SetValue(const std::wstring& key, const std::wstring& value);
    virtual HWND GetHwnd();
    // Runs the script in the page's default script language; its value is discarded. Without a
    // browser nothing; a failed step throws.
    virtual void ExecScript(const std::wstring& script);

    void SetText(const std::wstring& text);
    // The browser with one reference added for the caller; null when there is none.
    IWebBrowser2* GetBrowser();
    // Undoes Init: the UI handler removed, the sink disconnected, the browser released, the host
    // window destroyed (when it still is one), the sink released. Never throws.
    void Destroy();

    SetEventSignal& GetSetEventSignal() { return m_setEvent; }
    CHTMLDispatch* GetExternalObject() const { return m_external.Get(); }
    // The sink's navigation state: false from Navigate until DocumentComplete or Stop; 100, or
    // the status code of the last failed navigation.
    bool IsDocumentComplete() const;
    LONG GetNavigationStatus() const;
    // The sink; null before Init and after Destroy. For tests that play the control's events.
    CHTMLImpl* GetEventSink() const { return m_sink.Get(); }

protected:
    // Messages of the host window before the host handles them; false leaves them to it.
    virtual bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Drops the external object early (its owner cleared, the reference released), so that it
    // goes on the window's own thread; the destructor then has nothing to release.
    void ReleaseExternalObject();

    HWND m_hostWindow = nullptr;

private:
    bool OnHostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    Win32::CComPtrT<IWebBrowser2> m_browser;
    Win32::CCriticalSectionLock m_lock;        // around every call on the browser
    Win32::CComPtrT<CHTMLDispatch> m_external;
    Win32::CComPtrT<CHTMLImpl> m_sink;
    Win32::CCriticalSectionLock m_valuesLock;  // guards m_values
    std::map<std::wstring, std::wstring> m_values;
    SetEventSignal m_setEvent;
};

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
