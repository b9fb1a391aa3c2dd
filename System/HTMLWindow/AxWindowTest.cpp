// The host window class on Wine's browser control: the control it creates and sizes, the
// IDocHostUIHandler that the control finds on its client site, and its window procedure, out of
// which no exception leaves (a failed allocation, a hook that throws).
#include <gtest/gtest.h>

#include <exdisp.h>
#include <mshtmhst.h>

#include <cstdlib>
#include <new>
#include <stdexcept>

#include "ControlUIHandler.h"
#include "System/HTMLWindow/AxWindow.h"
#include "System/HTMLWindow/AxHostModule.h"
#include "System/HTMLWindow/HTMLDispatch.h"

using namespace Lm::System::HTMLWindow;

namespace {

// While set, every C++ allocation of this thread fails (the replacement below).
thread_local bool t_failAllocations = false;

} // namespace

// The program's allocation, replaced in this test executable so that a test can make it fail.
// It takes its memory where the runtime's own does (the runtime's delete frees it).
void* operator new(std::size_t size)
{
    if (t_failAllocations)
        throw std::bad_alloc();
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

namespace {

class CThrowingHook : public IAxHostMessageHook {
public:
    bool OnHostMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT&) override
    {
        ++calls;
        if (message == WM_APP || message == WM_NCDESTROY)
            throw std::runtime_error("hook failed");
        return false;
    }
    int calls = 0;
};

class AxWindowTest : public testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override
    {
        if (host.m_hWnd && IsWindow(host.m_hWnd))
            DestroyWindow(host.m_hWnd);
        CoUninitialize();
    }

    // The control's own view of its client site, asked for the UI handler.
    IDocHostUIHandler* HandlerThroughTheControl()
    {
        Lm::System::Win32::CComPtrT<IUnknown> control;
        EXPECT_EQ(S_OK, host.QueryControl(IID_IUnknown, reinterpret_cast<void**>(control.Receive())));
        return LmTest::ControlUIHandler(control.Get()).Detach();
    }

    CAxWindow host;
    RECT rect = {0, 0, 320, 240};
};

} // namespace

TEST_F(AxWindowTest, a_url_text_hosts_the_web_browser_over_the_whole_client_area)
{
    const LONG hostsBefore = GetAtlModuleHolder()->GetLockCount();
    ASSERT_NE(nullptr, host.Create(nullptr, rect, L"about:blank", WS_POPUP, 0));
    wchar_t className[64] = {};
    GetClassNameW(host.m_hWnd, className, 64);
    EXPECT_STREQ(L"AtlAxWin140", className);
    EXPECT_EQ(hostsBefore + 1, GetAtlModuleHolder()->GetLockCount());

    IWebBrowser2* browser = nullptr;
    ASSERT_EQ(S_OK, host.QueryControl(IID_IWebBrowser2, reinterpret_cast<void**>(&browser)));
    ASSERT_NE(nullptr, browser);
    browser->Release();

    HWND controlWindow = GetWindow(host.m_hWnd, GW_CHILD);
    ASSERT_NE(nullptr, controlWindow) << "the control is active in place inside the host";
    SetWindowPos(host.m_hWnd, nullptr, 0, 0, 400, 300, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT hostClient = {};
    RECT controlRect = {};
    GetClientRect(host.m_hWnd, &hostClient);
    GetWindowRect(controlWindow, &controlRect);
    EXPECT_EQ(hostClient.right, controlRect.right - controlRect.left);
    EXPECT_EQ(hostClient.bottom, controlRect.bottom - controlRect.top);

    EXPECT_TRUE(DestroyWindow(host.m_hWnd));
    EXPECT_EQ(hostsBefore, GetAtlModuleHolder()->GetLockCount()) << "the host object went with its window";
    EXPECT_EQ(E_FAIL, host.QueryControl(IID_IWebBrowser2, reinterpret_cast<void**>(&browser)));
}

TEST_F(AxWindowTest, a_class_that_does_not_exist_fails_the_window)
{
    EXPECT_EQ(nullptr, host.Create(nullptr, rect, L"{0E6C2B8A-0000-4D1E-9F00-7A11D0C0FFEE}", WS_POPUP, 0));
}

TEST_F(AxWindowTest, without_a_handler_the_control_keeps_its_defaults)
{
    ASSERT_NE(nullptr, host.Create(nullptr, rect, L"about:blank", WS_POPUP, 0));
    IDocHostUIHandler* handler = HandlerThroughTheControl();
    ASSERT_NE(nullptr, handler);
    POINT point = {5, 5};
    EXPECT_EQ(S_FALSE, handler->ShowContextMenu(CONTEXT_MENU_DEFAULT, &point, nullptr, nullptr));
    DOCHOSTUIINFO info = {sizeof(info)};
    EXPECT_EQ(S_OK, handler->GetHostInfo(&info));
    EXPECT_EQ(0u, info.dwFlags);
    IDispatch* external = reinterpret_cast<IDispatch*>(1);
    EXPECT_HRESULT_FAILED(handler->GetExternal(&external));
    EXPECT_EQ(nullptr, external);
    MSG message = {host.m_hWnd, WM_KEYDOWN, VK_F5, 0};
    EXPECT_EQ(S_FALSE, handler->TranslateAccelerator(&message, nullptr, 0));
    handler->Release();
}

TEST_F(AxWindowTest, the_external_handler_answers_every_question_of_the_control)
{
    CHTMLDispatch* dispatch = new CHTMLDispatch();
    dispatch->AddRef();
    ASSERT_NE(nullptr, host.Create(nullptr, rect, L"about:blank", WS_POPUP, 0));
    ASSERT_EQ(S_OK, host.SetExternalUIHandler(dispatch));
    EXPECT_EQ(2, dispatch->GetReferenceCount()) << "the host holds the handler";

    IDocHostUIHandler* handler = HandlerThroughTheControl();
    ASSERT_NE(nullptr, handler);
    POINT point = {5, 5};
    EXPECT_EQ(S_OK, handler->ShowContextMenu(CONTEXT_MENU_DEFAULT, &point, nullptr, nullptr)) << "no menu";
    DOCHOSTUIINFO info = {sizeof(info)};
    EXPECT_EQ(S_OK, handler->GetHostInfo(&info));
    EXPECT_EQ(0x24000Au, info.dwFlags);
    EXPECT_EQ(DWORD(DOCHOSTUIDBLCLK_DEFAULT), info.dwDoubleClick);

    IDispatch* external = nullptr;
    EXPECT_EQ(S_OK, handler->GetExternal(&external));
    EXPECT_EQ(static_cast<IDispatch*>(dispatch), external) << "window.external is the dispatch object";
    if (external)
        external->Release();

    MSG message = {host.m_hWnd, WM_KEYDOWN, VK_F5, 0};
    EXPECT_EQ(S_FALSE, handler->TranslateAccelerator(&message, nullptr, 0)) << "the control handles its keys";
    IDropTarget* target = reinterpret_cast<IDropTarget*>(1);
    EXPECT_HRESULT_FAILED(handler->GetDropTarget(nullptr, &target));
    EXPECT_EQ(nullptr, target);
    LPWSTR translated = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(S_FALSE, handler->TranslateUrl(0, const_cast<LPWSTR>(L"file:///C:/x.html"), &translated));
    EXPECT_EQ(nullptr, translated);
    IDataObject* data = reinterpret_cast<IDataObject*>(1);
    EXPECT_EQ(S_FALSE, handler->FilterDataObject(nullptr, &data));
    EXPECT_EQ(nullptr, data);
    LPOLESTR key = reinterpret_cast<LPOLESTR>(1);
    EXPECT_HRESULT_FAILED(handler->GetOptionKeyPath(&key, 0));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ(S_FALSE, handler->ShowUI(DOCHOSTUITYPE_BROWSE, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(S_OK, handler->HideUI());
    handler->Release();

    ASSERT_EQ(S_OK, host.SetExternalUIHandler(nullptr));
    EXPECT_EQ(1, dispatch->GetReferenceCount());
    dispatch->Release();
}

TEST_F(AxWindowTest, a_host_that_cannot_be_made_fails_the_window_and_nothing_leaves_its_procedure)
{
    const LONG hostsBefore = GetAtlModuleHolder()->GetLockCount();
    ASSERT_TRUE(AtlAxWinInit());
    HWND window = reinterpret_cast<HWND>(1);
    t_failAllocations = true;
    try {
        window = host.Create(nullptr, rect, L"about:blank", WS_POPUP, 0);
    } catch (...) {
        t_failAllocations = false;
        ADD_FAILURE() << "an exception left the window procedure";
    }
    t_failAllocations = false;
    EXPECT_EQ(nullptr, window);
    EXPECT_EQ(hostsBefore, GetAtlModuleHolder()->GetLockCount());

    ASSERT_NE(nullptr, host.Create(nullptr, rect, L"about:blank", WS_POPUP, 0)) << "the class still works";
    EXPECT_EQ(hostsBefore + 1, GetAtlModuleHolder()->GetLockCount());
}

TEST_F(AxWindowTest, a_hook_that_throws_leaves_the_message_to_the_default_and_the_host_still_goes)
{
    const LONG hostsBefore = GetAtlModuleHolder()->GetLockCount();
    ASSERT_NE(nullptr, host.Create(nullptr, rect, L"about:blank", WS_POPUP, 0));
    CThrowingHook hook;
    ASSERT_EQ(S_OK, host.SetMessageHook(&hook));
    LRESULT result = 7;
    try {
        result = SendMessageW(host.m_hWnd, WM_APP, 0, 0);
        EXPECT_TRUE(DestroyWindow(host.m_hWnd));
    } catch (...) {
        ADD_FAILURE() << "an exception left the window procedure";
    }
    EXPECT_EQ(0, result) << "DefWindowProc's answer";
    EXPECT_GE(hook.calls, 2);
    EXPECT_FALSE(IsWindow(host.m_hWnd));
    EXPECT_EQ(hostsBefore, GetAtlModuleHolder()->GetLockCount()) << "the host went with its window";
}

TEST(AxHostModule, one_holder_for_the_process)
{
    Lm::System::CRefPtr<CAxHostModule> first = GetAtlModuleHolder();
    Lm::System::CRefPtr<CAxHostModule> second = GetAtlModuleHolder();
    ASSERT_TRUE(first.IsSet());
    EXPECT_EQ(first.Get(), second.Get());
    EXPECT_EQ(GetModuleHandleW(nullptr), first->GetModuleInstance());
}
