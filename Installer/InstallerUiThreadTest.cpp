// The UI thread and its message loop: which keys reach the browser, and every way the loop ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InstallerPageStandIn.h"
#include "Installer/PageProtocol.h"

using namespace Lm::Installer;
using LmTest::PageStandInOptions;
using LmTest::UiHarness;

TEST(UiMessageLoop, key_filter_holds_back_the_browsers_own_keys)
{
    struct Case {
        UINT message;
        WPARAM key;
        bool ctrl;
        bool alt;
        bool heldBack;
    } const cases[] = {
        {WM_KEYDOWN, VK_F5, false, false, true},
        {WM_KEYUP, VK_F5, false, false, true},
        {WM_KEYDOWN, VK_BROWSER_REFRESH, false, false, true},
        {WM_KEYDOWN, VK_BACK, false, false, true},
        {WM_CHAR, VK_BACK, false, false, true},
        {WM_SYSKEYDOWN, VK_F5, false, true, true},
        {WM_KEYDOWN, 'N', true, false, true},
        {WM_KEYDOWN, 'F', true, false, true},
        {WM_KEYDOWN, 'L', true, false, true},
        {WM_KEYDOWN, 'O', true, false, true},
        {WM_KEYDOWN, 'P', true, false, true},
        {WM_KEYDOWN, 'S', true, false, true},
        {WM_CHAR, 's', true, false, true},
        {WM_KEYDOWN, 'N', false, false, false},
        {WM_KEYDOWN, 'A', true, false, false},   // Ctrl+Shift+A is the page's Agree
        {WM_KEYDOWN, 'C', true, false, false},
        {WM_CHAR, 1, true, false, false},        // the control character of Ctrl+A
        {WM_CHAR, 15, true, false, false},       // Ctrl+O as a character is not the letter
        {WM_SYSKEYDOWN, VK_LEFT, false, true, true},
        {WM_SYSKEYDOWN, VK_RIGHT, false, true, true},
        {WM_KEYDOWN, VK_LEFT, false, false, false},
        {WM_KEYDOWN, VK_RIGHT, true, false, false},
        {WM_SYSKEYDOWN, VK_F4, false, true, false},
        {WM_KEYDOWN, VK_TAB, false, false, false},
        {WM_KEYDOWN, VK_RETURN, false, false, false},
        {0x109 /* WM_UNICHAR */, VK_F5, false, false, true},
        {WM_KEYLAST + 1, VK_F5, false, false, false},
        {WM_MOUSEMOVE, VK_F5, false, false, false},
        {WM_LBUTTONDOWN, VK_BACK, true, true, false},
    };
    for (const Case& c : cases) {
        MSG message = {};
        message.message = c.message;
        message.wParam = c.key;
        EXPECT_EQ(c.heldBack, IsHeldBackFromBrowser(message, c.ctrl, c.alt))
            << "message 0x" << std::hex << c.message << " key 0x" << c.key << " ctrl " << c.ctrl << " alt " << c.alt;
    }
}

TEST(UiMessageLoop, the_page_close_or_a_window_destroyed_otherwise_ends_the_thread)
{
    for (const wchar_t* ending : {L"test:page-close", L"test:destroy"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(ending)));
        UiHarness ui(CUiContext{});
        ASSERT_NE(nullptr, ui.Window());
        ui.Window()->PostCommand(ending);
        ASSERT_TRUE(ui.WaitFinished(60000));
        EXPECT_EQ(WAIT_OBJECT_0, UiQuitEvent().Wait(0));
        EXPECT_FALSE(ui.Thread().GetException().IsSet());
    }
}

TEST(UiMessageLoop, a_page_that_never_loads_ends_the_thread_as_a_failure)
{
    PageStandInOptions options;
    options.loadTimeoutMs = 1500;
    UiHarness ui(CUiContext{}, options);
    ASSERT_NE(nullptr, ui.Window());
    ASSERT_TRUE(ui.WaitFinished(60000));
    const Lm::System::CRefPtr<Lm::System::CException> failure = ui.Thread().GetException();
    ASSERT_TRUE(failure.IsSet());
    EXPECT_NE(std::wstring::npos, failure->ToString().find(L"did not load")) << failure->ToString();
    EXPECT_NE(WAIT_OBJECT_0, UiQuitEvent().Wait(0)) << "the thread itself ended, nobody asked it to";
}

TEST(UiMessageLoop, a_loaded_page_keeps_the_thread_past_the_load_time)
{
    PageStandInOptions options;
    options.loadTimeoutMs = 1500;
    UiHarness ui(CUiContext{}, options);
    ASSERT_NE(nullptr, ui.Window());
    ASSERT_TRUE(ui.Raise(kEventLoaded));
    EXPECT_FALSE(ui.WaitFinished(3000));
    EXPECT_EQ(Lm::System::Win32::ThreadStateRunning, ui.Thread().GetState());
}

TEST(UiMessageLoop, a_navigation_error_ends_the_thread_as_a_failure)
{
    // Wine's control cannot load any page (mshtml is off): its NavigateError is a real one.
    PageStandInOptions options;
    options.ignoreNavigationErrors = false;
    UiHarness ui(CUiContext{}, options);
    ASSERT_NE(nullptr, ui.Window());
    ASSERT_TRUE(ui.WaitFinished(60000));
    const Lm::System::CRefPtr<Lm::System::CException> failure = ui.Thread().GetException();
    ASSERT_TRUE(failure.IsSet());
    EXPECT_NE(std::wstring::npos, failure->ToString().find(L"could not be loaded")) << failure->ToString();
    EXPECT_NE(std::wstring::npos, failure->ToString().find(L"install.html")) << failure->ToString();
}

namespace {

// Waits for the window's oldest event; empty when none came in time.
std::wstring WaitForEvent(CInstallerWindow& window, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    std::wstring event;
    while (event.empty() && GetTickCount() - start < timeoutMs) {
        event = window.PopEvent();
        Sleep(10);
    }
    return event;
}

} // namespace

TEST(UiMessageLoop, keys_pass_the_browser_to_the_window_as_characters)
{
    UiHarness ui(CUiContext{});
    ASSERT_NE(nullptr, ui.Window());
    ASSERT_TRUE(PostMessageW(ui.Window()->GetHwnd(), WM_KEYDOWN, 'A', 0x001E0001));
    const DWORD start = GetTickCount();
    std::vector<std::wstring> entries;
    while (GetTickCount() - start < 20000) {
        entries = ui.Record().Entries();
        if (!entries.empty())
            break;
        Sleep(10);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"char 97"}), entries);
}

TEST(UiMessageLoop, alt_f4_through_the_message_loop_becomes_the_views_cancel)
{
    UiHarness ui(CUiContext{});
    ASSERT_NE(nullptr, ui.Window());
    ui.Window()->SetPageState(PageStateLicence);
    // Alt+F4 as the system posts it: WM_SYSKEYDOWN with the context (Alt) bit.
    ASSERT_TRUE(PostMessageW(ui.Window()->GetHwnd(), WM_SYSKEYDOWN, VK_F4, 0x203E0001));
    EXPECT_EQ(kEventCancel, WaitForEvent(*ui.Window(), 20000));
    EXPECT_TRUE(IsWindow(ui.Window()->GetHwnd()));
}

namespace {

// A UI thread that says when its object goes. Going early, it ends its loop, so that a pointer
// that lets go too soon fails the test instead of leaving it waiting for the thread.
class CTrackedUiThread : public LmTest::CStandInUiThread {
public:
    CTrackedUiThread(const std::wstring& page, LmTest::PageRecord& record, volatile LONG& destroyed)
        : CStandInUiThread(page, CUiContext{}, record, PageStandInOptions{}), destroyed_(destroyed)
    {
    }
    ~CTrackedUiThread() override
    {
        InterlockedExchange(&destroyed_, 1);
        UiQuitEvent().Set();
    }

private:
    volatile LONG& destroyed_;
};

} // namespace

TEST(UiMessageLoop, the_ui_thread_pointer_holds_the_thread_until_it_is_emptied)
{
    LmTest::ScratchFolder folder(L"lmpages");
    LmTest::PageRecord record;
    volatile LONG destroyed = 0;
    UiQuitEvent().Reset();
    SetInstallerWindow(nullptr);
    // Whichever way the test ends, the thread ends and the process's pointers are empty.
    struct EndUiThread {
        ~EndUiThread()
        {
            UiQuitEvent().Set();
            SetInstallerUiThread(nullptr);
            SetInstallerWindow(nullptr);
            UiQuitEvent().Reset();
        }
    } endUiThread;
    Lm::System::Win32::CHandleGuard osThread;
    {
        Lm::System::CRefPtr<CInstallerUiThread> thread(new CTrackedUiThread(folder / L"install.html", record, destroyed));
        SetInstallerUiThread(thread);
        thread->ThreadStart();
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), thread->GetHandle(), GetCurrentProcess(), osThread.Receive(),
                                    SYNCHRONIZE, FALSE, 0));
    }

    // The pointer is the thread's only owner now: the object stays, and so does its running thread.
    ASSERT_EQ(0, destroyed) << "the thread went with its last reference outside the pointer";
    ASSERT_TRUE(GetInstallerUiThread().IsSet());
    EXPECT_EQ(Lm::System::Win32::ThreadStateRunning, GetInstallerUiThread()->GetState());
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(osThread.Get(), 0)) << "the thread ended without being asked";

    // Its loop ends; the object stays for as long as the pointer holds it.
    UiQuitEvent().Set();
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(osThread.Get(), 60000));
    ASSERT_EQ(0, destroyed) << "the thread object went while the pointer held it";
    ASSERT_TRUE(GetInstallerUiThread().IsSet());
    EXPECT_EQ(Lm::System::Win32::ThreadStateFinished, GetInstallerUiThread()->GetState());

    // Emptied, the pointer lets it go.
    SetInstallerUiThread(nullptr);
    EXPECT_EQ(1, destroyed) << "the emptied pointer still holds the thread object";
    EXPECT_FALSE(GetInstallerUiThread().IsSet());
}
