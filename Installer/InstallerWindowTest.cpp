// The installer window on its UI thread under Wine: construction, both queues from two threads,
// the answers to the page's SetEvent, WM_CLOSE by page state, and the navigation filter.
#include <gtest/gtest.h>

#include <exdisp.h>

#include <string>
#include <algorithm>
#include <thread>
#include <vector>

#include "InstallerPageStandIn.h"
#include "Installer/InstallerContract.h"
#include "Installer/InstallerMessageTable.h"
#include "Installer/PageProtocol.h"
#include "TestRegistry.h"
#include "TestSupport.h"

using namespace Lm::Installer;
using LmTest::UiHarness;

namespace {

CUiContext ContextFor(int languageIndex)
{
    CUiContext context;
    context.languageIndex = languageIndex;
    return context;
}

} // namespace

TEST(InstallerWindow, is_made_centred_with_its_caption_and_page_values_and_torn_down_on_its_thread)
{
    Lm::System::CRefPtr<CInstallerWindow> window;
    HWND host = nullptr;
    {
        UiHarness ui(ContextFor(1));
        ASSERT_NE(nullptr, ui.Window());
        window = ui.Window();
        host = window->GetHwnd();
        ASSERT_TRUE(IsWindow(host));
        EXPECT_TRUE(IsWindowVisible(host));
        RECT frame = {};
        GetWindowRect(host, &frame);
        EXPECT_EQ(500, frame.right - frame.left);
        EXPECT_EQ(400, frame.bottom - frame.top);
        EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - 500) / 2, frame.left);
        EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - 400) / 2, frame.top);
        wchar_t caption[128] = {};
        GetWindowTextW(host, caption, 128);
        EXPECT_STREQ(InstallerMessageText(GetInstallerMessageRow(1), kMessageCaption), caption);
        EXPECT_EQ(L"de", window->GetValue(L"LMLocale"));
        EXPECT_EQ(L"larchplay", window->GetValue(L"BrandName"));
        EXPECT_EQ(0, GetWindowLongW(host, GWL_STYLE) & WS_SYSMENU) << "no close box";
        EXPECT_EQ(GetWindowThreadProcessId(host, nullptr), ui.Thread().GetThreadId());

        window->PostClose();
        ASSERT_TRUE(ui.WaitFinished(60000));
        EXPECT_EQ(Lm::System::Win32::ThreadStateFinished, ui.Thread().GetState());
        EXPECT_FALSE(ui.Thread().GetException().IsSet());
        EXPECT_EQ((std::vector<std::wstring>{L"close"}), ui.Record().Entries());
    }
    // Everything the UI thread made went with it.
    EXPECT_FALSE(IsWindow(host));
    EXPECT_EQ(nullptr, window->GetBrowser());
    EXPECT_EQ(nullptr, window->GetExternalObject());
    EXPECT_TRUE(window->IsComSessionEnded());
}

TEST(InstallerWindow, commands_from_another_thread_run_once_each_in_order)
{
    UiHarness ui(ContextFor(0));
    ASSERT_NE(nullptr, ui.Window());
    std::vector<std::wstring> expected;
    std::thread poster([&] {
        for (int i = 0; i < 300; ++i)
            ui.Window()->PostCommand(L"command " + std::to_wstring(i));
    });
    for (int i = 0; i < 300; ++i)
        expected.push_back(L"command " + std::to_wstring(i));
    poster.join();
    ASSERT_TRUE(ui.Drain());
    EXPECT_EQ(expected, ui.Record().Entries());
}

TEST(InstallerWindow, a_wait_after_a_post_returns_only_after_that_post_ran)
{
    UiHarness ui(ContextFor(0));
    ASSERT_NE(nullptr, ui.Window());
    // Keep the UI thread busy with passes of its own while the main thread posts and waits.
    std::thread background([&] {
        for (int i = 0; i < 200; ++i) {
            ui.Window()->PostCommand(L"background");
            Sleep(1);
        }
    });
    for (int i = 0; i < 200; ++i) {
        const std::wstring mark = L"mark " + std::to_wstring(i);
        ui.Window()->PostCommand(mark);
        ASSERT_TRUE(ui.Window()->WaitCommandsDrained(ui.Thread().GetHandle()));
        const std::vector<std::wstring> entries = ui.Record().Entries();
        ASSERT_NE(entries.end(), std::find(entries.begin(), entries.end(), mark)) << mark << " had not run";
    }
    background.join();
}

TEST(InstallerWindow, page_events_are_queued_in_order_and_popped_once)
{
    UiHarness ui(ContextFor(0));
    ASSERT_NE(nullptr, ui.Window());
    std::vector<std::wstring> popped;
    std::thread raiser([&] {
        for (int i = 0; i < 100; ++i)
            ui.Window()->PostCommand(L"test:raise Event" + std::to_wstring(i));
    });
    const DWORD start = GetTickCount();
    while (popped.size() < 100 && GetTickCount() - start < 60000) {
        const std::wstring name = ui.Window()->PopEvent();
        if (name.empty())
            Sleep(1);
        else
            popped.push_back(name);
    }
    raiser.join();
    ASSERT_EQ(100u, popped.size());
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(L"Event" + std::to_wstring(i), popped[i]);
    EXPECT_EQ(L"", ui.Window()->PopEvent());
}

TEST(InstallerWindow, a_failing_script_ends_only_itself)
{
    UiHarness ui(ContextFor(0));
    ASSERT_NE(nullptr, ui.Window());
    ui.Window()->PostCommand(L"before");
    ui.Window()->PostCommand(L"test:fail");
    ui.Window()->PostCommand(L"after");
    ASSERT_TRUE(ui.Drain());
    EXPECT_EQ((std::vector<std::wstring>{L"before", L"after"}), ui.Record().Entries());
    EXPECT_EQ(Lm::System::Win32::ThreadStateRunning, ui.Thread().GetState());
}

TEST(InstallerWindow, read_reg_values_answers_at_once_with_zero_for_a_missing_key_or_wrong_type)
{
    LmTest::ScopedRegistryKey status(L"HKLM\\Software\\Larchmeadow\\Tests", L"InstallerStatus");
    CUiContext context;
    context.statusKey = status.Path();
    UiHarness ui(context);
    ASSERT_NE(nullptr, ui.Window());
    struct Case {
        const char* name;
        bool keyExists;
        bool dwordInstall;
        const wchar_t* install;
        const wchar_t* download;
        const wchar_t* expectedInstall;
        const wchar_t* expectedDownload;
    } const cases[] = {
        {"both values", true, false, L"25", L"62.5", L"25", L"62.5"},
        {"values missing", true, false, nullptr, nullptr, L"", L""},
        {"install of the wrong type", true, true, nullptr, L"40", L"0", L"0"},
        {"key missing", false, false, nullptr, nullptr, L"0", L"0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LmTest::RegDeleteTreeAt(status.Path());
        if (c.keyExists)
            RegCloseKey(LmTest::RegCreate(status.Path()));
        if (c.install)
            LmTest::RegSetText(status.Path(), kInstallProgressValue, c.install);
        if (c.dwordInstall)
            LmTest::RegSetDword(status.Path(), kInstallProgressValue, 5);
        if (c.download)
            LmTest::RegSetText(status.Path(), kDownloadProgressValue, c.download);
        ui.Window()->SetValue(kValueInstallProgress, L"stale");
        ui.Window()->SetValue(kValueDownloadProgress, L"stale");
        ASSERT_TRUE(ui.Raise(kEventReadRegValues));
        EXPECT_EQ(c.expectedInstall, ui.Window()->GetValue(L"HKLM\\Software\\Larchmeadow\\InstallerStatus\\Install"));
        EXPECT_EQ(c.expectedDownload, ui.Window()->GetValue(L"HKLM\\Software\\Larchmeadow\\InstallerStatus\\Download"));
        EXPECT_EQ(L"", ui.Window()->PopEvent()) << "never queued";
    }
}

TEST(InstallerWindow, set_event_without_a_string_name_is_ignored_and_never_fails_the_page)
{
    UiHarness ui(ContextFor(0));
    ASSERT_NE(nullptr, ui.Window());
    ASSERT_TRUE(ui.Run(L"test:raise-number"));
    EXPECT_EQ(S_OK, ui.Window()->LastInvokeResult());
    ASSERT_TRUE(ui.Run(L"test:raise-none"));
    EXPECT_EQ(S_OK, ui.Window()->LastInvokeResult());
    ASSERT_TRUE(ui.Raise(L""));
    EXPECT_EQ(L"", ui.Window()->PopEvent());
    ASSERT_TRUE(ui.Raise(L"NoSuchEvent"));
    EXPECT_EQ(L"NoSuchEvent", ui.Window()->PopEvent()) << "queued; the main thread drops it";
}

TEST(InstallerWindow, begin_before_the_licence_view_ran_is_not_an_agreement)
{
    UiHarness ui(ContextFor(0));
    ASSERT_NE(nullptr, ui.Window());
    ASSERT_TRUE(ui.Raise(kEventBegin));
    EXPECT_EQ(L"", ui.Window()->PopEvent());
    ASSERT_TRUE(ui.Run(kScriptShowMain));
    ASSERT_TRUE(ui.Raise(kEventBegin));
    EXPECT_EQ(kEventBegin, ui.Window()->PopEvent());
}

TEST(InstallerWindow, wm_close_is_the_current_views_cancel)
{
    UiHarness ui(ContextFor(0));
    ASSERT_NE(nullptr, ui.Window());
    const HWND host = ui.Window()->GetHwnd();
    struct Case {
        PageState state;
        const wchar_t* queued;
    } const cases[] = {
        {PageStateLoading, kEventCancel},      {PageStateLicence, kEventCancel},
        {PageStateBeginPosted, kEventCancel},  {PageStateInstalling, L""},
        {PageStateFinishShown, kEventFinish},  {PageStateFinished, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.state));
        ui.Window()->SetPageState(c.state);
        DWORD_PTR result = 0;
        ASSERT_TRUE(SendMessageTimeoutW(host, WM_CLOSE, 0, 0, SMTO_NORMAL, 30000, &result));
        EXPECT_EQ(c.queued, ui.Window()->PopEvent());
        EXPECT_EQ(L"", ui.Window()->PopEvent());
        EXPECT_TRUE(IsWindow(host)) << "the window is never closed by WM_CLOSE itself";
    }
    EXPECT_EQ(Lm::System::Win32::ThreadStateRunning, ui.Thread().GetState());
}

TEST(InstallerWindow, navigation_stays_inside_the_page_folder)
{
    const std::wstring folder = L"C:\\Users\\Me\\Temp\\pdtpi-1234";
    struct Case {
        const wchar_t* url;
        bool allowed;
    } const cases[] = {
        {L"about:blank", true},
        {L"ABOUT:BLANK", true},
        {L"C:\\Users\\Me\\Temp\\pdtpi-1234\\install.html", true},
        {L"c:\\users\\me\\temp\\PDTPI-1234\\EULA_de.html", true},
        {L"file:///C:/Users/Me/Temp/pdtpi-1234/EULA_en-us.html", true},
        {L"file:///C:/Users/Me/Temp/pdtpi-1234/install.html#top", true},
        {L"file://C:\\Users\\Me\\Temp\\pdtpi-1234\\install.html", true},
        {L"file:///C:/Users/Me/Temp/pdtpi-1234/images/progress_frame.jpg", true},
        {L"C:\\Users\\Me\\Temp\\pdtpi-1234", false},
        {L"C:\\Users\\Me\\Temp\\pdtpi-1234-other\\install.html", false},
        {L"C:\\Users\\Me\\Temp\\pdtpi-1234\\..\\evil.html", false},
        {L"file:///C:/Users/Me/Temp/pdtpi-1234/%2e%2e/evil.html", false},
        {L"file:///C:/Windows/System32/cmd.exe", false},
        {L"http://127.0.0.1/licence.html", false},
        {L"https://127.0.0.1/", false},
        {L"javascript:alert(1)", false},
        {L"mailto:someone@example.invalid", false},
        {L"res://ieframe.dll/navcancl.htm", false},
        {L"\\\\server\\share\\install.html", false},
        {L"install.html", false},
        {L"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.allowed, IsPageNavigationAllowed(c.url, folder)) << c.url;
}

TEST(InstallerWindow, the_control_never_leaves_the_page_folder)
{
    UiHarness ui(ContextFor(0));
    ASSERT_NE(nullptr, ui.Window());
    const std::wstring inside = ui.PageFolder() + L"\\EULA_de.html";
    ASSERT_TRUE(ui.Run(L"test:navigate " + inside));
    Sleep(1000);
    ASSERT_TRUE(ui.Run(L"test:url"));
    ASSERT_TRUE(ui.Run(L"test:navigate http://127.0.0.1:9/licence.html"));
    Sleep(1000);
    ASSERT_TRUE(ui.Run(L"test:url"));
    const std::vector<std::wstring> urls = ui.Record().Entries();
    ASSERT_EQ(2u, urls.size());
    EXPECT_NE(std::wstring::npos, urls[0].find(L"EULA_de.html")) << urls[0];
    EXPECT_EQ(urls[0], urls[1]) << "the web address was refused before it loaded";
}
