// Stands in for the Installer's wizard page in the host tests. Wine's browser control shows no
// page (mshtml is off in the test prefix), so the installer window's scripts reach this stand-in
// through the ExecScript seam, which records them, and the stand-in raises the page's events
// through the real external object (CHTMLDispatch::Invoke) on the UI thread, as the page would.
//
// Commands that start with "test:" drive the stand-in and are not recorded:
//   test:raise <name>    window.external.SetEvent("<name>")
//   test:raise-number    SetEvent(7)          test:raise-none    SetEvent()
//   test:page-close      window.external.Close()
//   test:destroy         DestroyWindow of the window (not the window's own teardown)
//   test:fail            a script that fails
//   test:navigate <url>  the window's Navigate        test:url   records "url <GetURL()>"
// Header only: included by the Installer's tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Installer/HandleUiEvent.h"
#include "Installer/InstallerUiThread.h"
#include "Installer/InstallerWindow.h"
#include "Installer/PageProtocol.h"
#include "System/Exception.h"
#include "System/HTMLWindow/HTMLDispatch.h"
#include "System/Win32/CriticalSectionLock.h"
#include "TestSupport.h"

namespace LmTest {

// What the stand-in page saw, in order: the scripts it ran, "show", "hide", "close", and the
// characters that reached the window.
class PageRecord {
public:
    void Add(const std::wstring& entry)
    {
        Lm::System::Win32::CScopedLock guard(lock_);
        entries_.push_back(entry);
    }
    std::vector<std::wstring> Entries()
    {
        Lm::System::Win32::CScopedLock guard(lock_);
        return entries_;
    }
    // The entries from index `from` on.
    std::vector<std::wstring> EntriesFrom(size_t from)
    {
        Lm::System::Win32::CScopedLock guard(lock_);
        return from >= entries_.size() ? std::vector<std::wstring>()
                                       : std::vector<std::wstring>(entries_.begin() + from, entries_.end());
    }
    size_t Size()
    {
        Lm::System::Win32::CScopedLock guard(lock_);
        return entries_.size();
    }

private:
    Lm::System::Win32::CCriticalSectionLock lock_;
    std::vector<std::wstring> entries_;
};

struct PageStandInOptions {
    bool answerBeginInstall = false;     // "BeginInstall();" raises "HtmlInstallBegin", as the page does
    bool ignoreNavigationErrors = true;  // Wine's failed page load is taken as a loaded page
    DWORD loadTimeoutMs = Lm::Installer::kPageLoadTimeoutMs;
};

class CPageStandInWindow : public Lm::Installer::CInstallerWindow {
public:
    CPageStandInWindow(const std::wstring& page, const Lm::Installer::CUiContext& context, PageRecord& record,
                       const PageStandInOptions& options)
        : CInstallerWindow(page, context), record_(record), options_(options)
    {
        SetPageLoadTimeout(options.loadTimeoutMs);
    }

    void ExecScript(const std::wstring& script) override
    {
        const std::wstring raise = L"test:raise ";
        if (script.compare(0, raise.size(), raise) == 0) {
            Raise(script.substr(raise.size()));
        } else if (script == L"test:raise-number") {
            VARIANT number;
            VariantInit(&number);
            V_VT(&number) = VT_I4;
            V_I4(&number) = 7;
            DISPPARAMS params = {&number, nullptr, 1, 0};
            Invoke(Lm::System::HTMLWindow::kDispIdSetEvent, &params);
        } else if (script == L"test:raise-none") {
            DISPPARAMS params = {nullptr, nullptr, 0, 0};
            Invoke(Lm::System::HTMLWindow::kDispIdSetEvent, &params);
        } else if (script == L"test:page-close") {
            Invoke(Lm::System::HTMLWindow::kDispIdClose, nullptr);
        } else if (script == L"test:destroy") {
            ::DestroyWindow(GetHwnd());
        } else if (script.compare(0, 14, L"test:navigate ") == 0) {
            Navigate(script.substr(14));
        } else if (script == L"test:url") {
            record_.Add(L"url " + GetURL());
        } else if (script == L"test:fail") {
            Lm::System::ThrowException("IHTMLWindow2::execScript failure", "Lm\\System\\HTMLWindow\\HTMLBase", 965,
                                       "Lm::System::HTMLWindow::CHTMLBase::ExecScript");
        } else {
            record_.Add(script);
            if (script == Lm::Installer::kScriptBeginInstall && options_.answerBeginInstall)
                Raise(Lm::Installer::kEventBegin);
        }
    }

    void OnClose() override
    {
        record_.Add(Lm::Installer::kCommandClose);
        CInstallerWindow::OnClose();
    }

    // The result of the last event raised through the external object.
    HRESULT LastInvokeResult() const { return lastResult_; }

protected:
    void ShowAndRaise(bool show) override
    {
        record_.Add(show ? Lm::Installer::kCommandShow : Lm::Installer::kCommandHide);
        CInstallerWindow::ShowAndRaise(show);
    }
    // Characters that reach the window are recorded as "char <code>".
    bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        if (message == WM_CHAR)
            record_.Add(L"char " + std::to_wstring(wParam));
        return CInstallerWindow::OnWindowMessage(message, wParam, lParam, result);
    }
    void OnNavigateError(const std::wstring& url, LONG statusCode) override
    {
        if (!options_.ignoreNavigationErrors)
            CInstallerWindow::OnNavigateError(url, statusCode);
    }

private:
    void Raise(const std::wstring& name)
    {
        VARIANT argument;
        VariantInit(&argument);
        V_VT(&argument) = VT_BSTR;
        V_BSTR(&argument) = SysAllocString(name.c_str());
        DISPPARAMS params = {&argument, nullptr, 1, 0};
        Invoke(Lm::System::HTMLWindow::kDispIdSetEvent, &params);
        VariantClear(&argument);
    }
    void Invoke(DISPID id, DISPPARAMS* params)
    {
        Lm::System::HTMLWindow::CHTMLDispatch* external = GetExternalObject();
        lastResult_ = external ? external->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, nullptr,
                                                  nullptr, nullptr)
                               : E_UNEXPECTED;
    }

    PageRecord& record_;
    PageStandInOptions options_;
    HRESULT lastResult_ = S_OK;
};

class CStandInUiThread : public Lm::Installer::CInstallerUiThread {
public:
    CStandInUiThread(const std::wstring& page, const Lm::Installer::CUiContext& context, PageRecord& record,
                     const PageStandInOptions& options)
        : CInstallerUiThread(page, context), record_(record), options_(options)
    {
    }

protected:
    Lm::System::CRefPtr<Lm::Installer::CInstallerWindow> MakeWindow() override
    {
        return new CPageStandInWindow(m_pageAddress, m_context, record_, options_);
    }

private:
    PageRecord& record_;
    PageStandInOptions options_;
};

// One UI thread with a stand-in page, set as the process's UI thread and window; ended and
// cleared again when it goes.
class UiHarness {
public:
    explicit UiHarness(const Lm::Installer::CUiContext& context, const PageStandInOptions& options = {})
        : context_(context), folder_(L"lmpages")
    {
        Lm::Installer::UiQuitEvent().Reset();
        Lm::Installer::SetInstallerWindow(nullptr);
        thread_ = new CStandInUiThread(folder_ / L"install.html", context_, record_, options);
        Lm::Installer::SetInstallerUiThread(thread_);
        thread_->ThreadStart();
        const DWORD start = GetTickCount();
        while (!Lm::Installer::GetInstallerWindow() &&
               thread_->GetState() != Lm::System::Win32::ThreadStateFinished && GetTickCount() - start < 60000)
            Sleep(10);
        window_ = static_cast<CPageStandInWindow*>(Lm::Installer::GetInstallerWindow().Get());
    }
    ~UiHarness()
    {
        window_ = nullptr;
        Lm::Installer::UiQuitEvent().Set();
        thread_->Join();
        Lm::Installer::SetInstallerUiThread(nullptr);
        Lm::Installer::SetInstallerWindow(nullptr);
        Lm::Installer::UiQuitEvent().Reset();
    }
    UiHarness(const UiHarness&) = delete;
    UiHarness& operator=(const UiHarness&) = delete;

    CPageStandInWindow* Window() const { return window_.Get(); }
    Lm::Installer::CInstallerUiThread& Thread() const { return *thread_; }
    PageRecord& Record() { return record_; }
    const Lm::Installer::CUiContext& Context() const { return context_; }
    const std::wstring& PageFolder() const { return folder_.Path(); }

    // Posts the command and waits until the UI thread has run it.
    bool Run(const std::wstring& command)
    {
        window_->PostCommand(command);
        return window_->WaitCommandsDrained(thread_->GetHandle());
    }
    // The page raises the event; it is queued (or answered) when this returns.
    bool Raise(const std::wstring& name) { return Run(L"test:raise " + name); }
    // Handles every queued event, as the main loop's pass does; the number handled.
    int HandleAll(Lm::Installer::IInstallSteps& steps)
    {
        int handled = 0;
        while (Lm::Installer::HandleUiEvent(steps, context_))
            ++handled;
        return handled;
    }
    // Waits for every command posted so far to have run.
    bool Drain() { return window_->WaitCommandsDrained(thread_->GetHandle()); }
    bool WaitFinished(DWORD timeoutMs)
    {
        return WaitForSingleObject(thread_->GetHandle(), timeoutMs) == WAIT_OBJECT_0;
    }

private:
    Lm::Installer::CUiContext context_;
    ScratchFolder folder_;
    PageRecord record_;
    Lm::System::CRefPtr<CStandInUiThread> thread_;
    Lm::System::CRefPtr<CPageStandInWindow> window_;
};

} // namespace LmTest
