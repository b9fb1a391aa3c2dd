// The HTML window on Wine's browser control (which shows nothing: mshtml is off in the test
// prefix, so every page load ends in a NavigateError), and its sink's events as the control
// fires them.
#include <gtest/gtest.h>

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ControlUIHandler.h"
#include "System/Exception.h"
#include "System/HTMLWindow/AxHostModule.h"
#include "System/HTMLWindow/HTMLBase.h"
#include "System/HTMLWindow/HTMLDispatch.h"
#include "System/HTMLWindow/HTMLImpl.h"
#include "TestSupport.h"

using namespace Lm::System::HTMLWindow;
using Lm::System::CException;

namespace {

// Pumps this thread's messages until the condition holds or the time is up.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

class CRecordingWindow : public CHTMLBase {
public:
    CRecordingWindow() : CHTMLBase(new CHTMLDispatch()) {}
    void OnBeforeNavigate(const std::wstring& url, bool& cancel) override
    {
        before.push_back(url);
        cancel = url.find(refuse) != std::wstring::npos && !refuse.empty();
    }
    void OnNavigateComplete(const std::wstring& url) override { complete.push_back(url); }
    void OnNavigateError(const std::wstring& url, LONG status) override { errors.push_back({url, status}); }

    std::wstring refuse;
    std::vector<std::wstring> before;
    std::vector<std::wstring> complete;
    std::vector<std::pair<std::wstring, LONG>> errors;
};

class HTMLBaseTest : public testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override
    {
        window = nullptr;
        CoUninitialize();
    }
    void MakeWindow()
    {
        window = new CRecordingWindow();
        window->Init(nullptr, RECT{0, 0, 500, 400}, WS_POPUP, 0);
    }

    Lm::System::CRefPtr<CRecordingWindow> window;
};

// A DISPPARAMS that holds an event's arguments as the control passes them.
struct EventArguments {
    std::vector<VARIANT> values; // last argument first
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT url;
    VARIANT status;
    DISPPARAMS params = {};

    EventArguments(size_t count, size_t cancelAt)
        : values(count)
    {
        for (VARIANT& v : values)
            VariantInit(&v);
        VariantInit(&url);
        VariantInit(&status);
        V_VT(&values[cancelAt]) = VT_BOOL | VT_BYREF;
        V_BOOLREF(&values[cancelAt]) = &cancel;
    }
    ~EventArguments()
    {
        VariantClear(&url);
    }
    void Url(size_t at, const wchar_t* text)
    {
        V_VT(&url) = VT_BSTR;
        V_BSTR(&url) = SysAllocString(text);
        V_VT(&values[at]) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&values[at]) = &url;
    }
    void Status(size_t at, LONG code)
    {
        V_VT(&status) = VT_I4;
        V_I4(&status) = code;
        V_VT(&values[at]) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&values[at]) = &status;
    }
    DISPPARAMS* Params()
    {
        params.rgvarg = values.data();
        params.cArgs = static_cast<UINT>(values.size());
        return &params;
    }
};

HRESULT Fire(CHTMLImpl* sink, DISPID id, DISPPARAMS* params)
{
    return sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, nullptr, nullptr, nullptr);
}

} // namespace

TEST_F(HTMLBaseTest, without_a_browser_the_operations_do_nothing)
{
    window = new CRecordingWindow();
    EXPECT_NO_THROW(window->Navigate(L"about:blank"));
    EXPECT_NO_THROW(window->Refresh());
    EXPECT_NO_THROW(window->Stop());
    EXPECT_NO_THROW(window->ExecScript(L"ShowPage( MAIN );"));
    EXPECT_NO_THROW(window->SetText(L"caption"));
    EXPECT_NO_THROW(window->ResizeClient(100, 100));
    EXPECT_TRUE(window->IsBusy());
    EXPECT_EQ(L"", window->GetURL());
    EXPECT_EQ(nullptr, window->GetBrowser());
    EXPECT_EQ(nullptr, window->GetHwnd());
    EXPECT_NO_THROW(window->Destroy());
}

TEST_F(HTMLBaseTest, values_are_kept_by_exact_key_across_threads)
{
    window = new CRecordingWindow();
    EXPECT_EQ(L"", window->GetValue(L"never set"));
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([this, t] {
            for (int i = 0; i < 200; ++i)
                window->SetValue(L"key" + std::to_wstring(t) + L"." + std::to_wstring(i), std::to_wstring(i));
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(L"199", window->GetValue(L"key" + std::to_wstring(t) + L".199"));
    window->SetValue(L"Key", L"upper");
    window->SetValue(L"key", L"lower");
    EXPECT_EQ(L"upper", window->GetValue(L"Key"));
    EXPECT_EQ(L"lower", window->GetValue(L"key"));
    window->SetValue(L"key", L"replaced");
    EXPECT_EQ(L"replaced", window->GetValue(L"key"));
}

TEST_F(HTMLBaseTest, init_hosts_a_browser_that_takes_no_drops_and_answers_through_the_external_object)
{
    MakeWindow();
    wchar_t className[64] = {};
    GetClassNameW(window->GetHwnd(), className, 64);
    EXPECT_STREQ(L"AtlAxWin140", className);
    ASSERT_NE(nullptr, window->GetEventSink());
    EXPECT_TRUE(window->GetEventSink()->IsAdvised());
    EXPECT_TRUE(window->IsDocumentComplete()) << "stopped at the first page";
    EXPECT_EQ(kNavigationStatusIdle, window->GetNavigationStatus());

    IWebBrowser2* browser = window->GetBrowser();
    ASSERT_NE(nullptr, browser);
    VARIANT_BOOL dropTarget = VARIANT_TRUE;
    EXPECT_EQ(S_OK, browser->get_RegisterAsDropTarget(&dropTarget));
    EXPECT_EQ(VARIANT_FALSE, dropTarget);

    Lm::System::Win32::CComPtrT<IDocHostUIHandler> handler = LmTest::ControlUIHandler(browser);
    ASSERT_TRUE(handler.IsValid());
    DOCHOSTUIINFO info = {sizeof(info)};
    EXPECT_EQ(S_OK, handler->GetHostInfo(&info));
    EXPECT_EQ(kHostUIFlags, info.dwFlags);
    IDispatch* external = nullptr;
    EXPECT_EQ(S_OK, handler->GetExternal(&external));
    EXPECT_EQ(static_cast<IDispatch*>(window->GetExternalObject()), external);
    if (external)
        external->Release();
    browser->Release();
}

TEST_F(HTMLBaseTest, a_host_window_that_cannot_be_made_throws_and_keeps_nothing)
{
    window = new CRecordingWindow();
    const LONG hosts = GetAtlModuleHolder()->GetLockCount();
    try {
        window->Init(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FF0)), RECT{0, 0, 10, 10}, WS_CHILD, 0);
        FAIL() << "Init did not throw";
    } catch (const CException& e) {
        EXPECT_EQ(L"CAxWindow::Create failure", e.Message());
        EXPECT_EQ("Lm\\System\\HTMLWindow\\HTMLBase", e.SourceFile());
        EXPECT_EQ(168, e.Line());
        EXPECT_EQ("Lm::System::HTMLWindow::CHTMLBase::Init", e.Function());
    }
    EXPECT_EQ(nullptr, window->GetEventSink());
    EXPECT_EQ(nullptr, window->GetHwnd());
    EXPECT_EQ(nullptr, window->GetBrowser());
    EXPECT_EQ(hosts, GetAtlModuleHolder()->GetLockCount());
}

TEST_F(HTMLBaseTest, a_page_that_fails_to_load_leaves_its_status_and_shows_no_error_page)
{
    MakeWindow();
    LmTest::ScratchFolder folder(L"lmhtml");
    const std::wstring page = folder / L"page.html";
    LmTest::WriteFileUtf8(page, L"<html><body>page</body></html>");
    window->Navigate(page);
    EXPECT_FALSE(window->IsDocumentComplete());
    ASSERT_TRUE(PumpUntil([&] { return !window->errors.empty(); }, 20000)) << "no NavigateError";
    ASSERT_FALSE(window->before.empty());
    EXPECT_NE(std::wstring::npos, window->before.back().find(L"page.html"));
    EXPECT_NE(std::wstring::npos, window->errors[0].first.find(L"page.html"));
    EXPECT_NE(kNavigationStatusIdle, window->errors[0].second);
    EXPECT_EQ(window->errors[0].second, window->GetNavigationStatus());
    EXPECT_FALSE(window->IsDocumentComplete());
    EXPECT_NE(L"", window->GetURL());

    window->Stop();
    EXPECT_TRUE(window->IsDocumentComplete());
    EXPECT_EQ(kNavigationStatusIdle, window->GetNavigationStatus());
}

TEST_F(HTMLBaseTest, a_navigation_the_hook_cancels_never_starts)
{
    MakeWindow();
    window->refuse = L"refused.html";
    LmTest::ScratchFolder folder(L"lmhtml");
    window->Navigate(folder / L"refused.html");
    ASSERT_TRUE(PumpUntil([&] { return !window->before.empty(); }, 20000));
    PumpUntil([] { return false; }, 500);
    EXPECT_TRUE(window->errors.empty()) << "a cancelled navigation loads nothing";
}

TEST_F(HTMLBaseTest, without_a_document_exec_script_throws_at_its_first_step)
{
    MakeWindow();
    try {
        window->ExecScript(L"ShowPage( MAIN );");
        FAIL() << "Wine's browser without mshtml has no document";
    } catch (const CException& e) {
        EXPECT_EQ(L"IWebBrowser2::get_Document failure", e.Message());
        EXPECT_EQ(941, e.Line());
        EXPECT_EQ("Lm::System::HTMLWindow::CHTMLBase::ExecScript", e.Function());
    }
}

TEST_F(HTMLBaseTest, sink_events_reach_the_hooks_and_set_cancel)
{
    MakeWindow();
    CHTMLImpl* sink = window->GetEventSink();
    window->refuse = L"http:";

    EventArguments before(7, 0);
    before.Url(5, L"http://127.0.0.1/");
    EXPECT_EQ(S_OK, Fire(sink, DISPID_BEFORENAVIGATE2, before.Params()));
    EXPECT_EQ(VARIANT_TRUE, before.cancel);
    EventArguments allowed(7, 0);
    allowed.cancel = VARIANT_TRUE;
    allowed.Url(5, L"file:///C:/pages/install.html");
    EXPECT_EQ(S_OK, Fire(sink, DISPID_BEFORENAVIGATE2, allowed.Params()));
    EXPECT_EQ(VARIANT_FALSE, allowed.cancel);
    EXPECT_EQ((std::vector<std::wstring>{L"http://127.0.0.1/", L"file:///C:/pages/install.html"}), window->before);

    EventArguments newWindow(2, 0);
    EXPECT_EQ(S_OK, Fire(sink, DISPID_NEWWINDOW2, newWindow.Params()));
    EXPECT_EQ(VARIANT_TRUE, newWindow.cancel) << "new windows are refused";
    EventArguments newWindow3(5, 3);
    EXPECT_EQ(S_OK, Fire(sink, DISPID_NEWWINDOW3, newWindow3.Params()));
    EXPECT_EQ(VARIANT_TRUE, newWindow3.cancel);

    EventArguments complete(2, 1);
    complete.Url(0, L"file:///C:/pages/install.html");
    window->Navigate(L"about:blank");
    EXPECT_EQ(S_OK, Fire(sink, DISPID_NAVIGATECOMPLETE2, complete.Params()));
    EXPECT_EQ(1u, window->complete.size());
    EXPECT_FALSE(window->IsDocumentComplete());
    EXPECT_EQ(S_OK, Fire(sink, DISPID_DOCUMENTCOMPLETE, complete.Params()));
    EXPECT_TRUE(window->IsDocumentComplete());

    EventArguments error(5, 0);
    error.Url(3, L"file:///C:/pages/missing.html");
    error.Status(1, static_cast<LONG>(0x800C0005));
    EXPECT_EQ(S_OK, Fire(sink, DISPID_NAVIGATEERROR, error.Params()));
    EXPECT_EQ(VARIANT_TRUE, error.cancel) << "no error page";
    EXPECT_EQ(static_cast<LONG>(0x800C0005), window->GetNavigationStatus());
    ASSERT_FALSE(window->errors.empty());
    EXPECT_EQ(L"file:///C:/pages/missing.html", window->errors.back().first);

    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Fire(sink, DISPID_STATUSTEXTCHANGE, nullptr));
}

TEST_F(HTMLBaseTest, a_sink_that_is_not_advised_ignores_every_event)
{
    MakeWindow();
    CHTMLImpl* sink = window->GetEventSink();
    sink->SetAdvisedForTest(false);
    EventArguments before(7, 0);
    before.Url(5, L"http://127.0.0.1/");
    window->refuse = L"http:";
    EXPECT_EQ(S_OK, Fire(sink, DISPID_BEFORENAVIGATE2, before.Params()));
    EXPECT_EQ(VARIANT_FALSE, before.cancel);
    EXPECT_TRUE(window->before.empty());
    sink->SetAdvisedForTest(true);
}

TEST_F(HTMLBaseTest, destroy_undoes_init_once)
{
    MakeWindow();
    const HWND host = window->GetHwnd();
    CHTMLDispatch* external = window->GetExternalObject();
    const LONG externalReferences = external->GetReferenceCount();
    window->Destroy();
    EXPECT_FALSE(IsWindow(host));
    EXPECT_EQ(nullptr, window->GetHwnd());
    EXPECT_EQ(nullptr, window->GetBrowser());
    EXPECT_EQ(nullptr, window->GetEventSink());
    EXPECT_LT(external->GetReferenceCount(), externalReferences) << "the host let go of its UI handler";
    EXPECT_NO_THROW(window->Destroy());
    EXPECT_NO_THROW(window->ExecScript(L"x"));
}
