// The progress window under the test display (Xvfb): created from the test executable's own
// dialog resource 108, as the Updater creates it from its own. Times are checked only in the
// direction a loaded machine cannot break (a window is never shown early, never leaves early);
// upper bounds only catch hangs.
#include "Updater/ProgressDialog.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "Updater/ExitCodeException.h"
#include "Updater/ProgressDialogIds.h"

using Lm::Updater::CExitCodeException;
using Lm::Updater::CProgressDialog;

namespace {

const ULONGLONG kBoundMs = 60000;

// Sets the process-wide times for one test and puts the defaults back.
class DialogTimes {
public:
    DialogTimes(std::int32_t pauseMs, std::int32_t minShowMs)
    {
        Lm::Updater::UpdaterPauseBeforeDialogMs = pauseMs;
        Lm::Updater::UpdaterMinDialogShowTimeMs = minShowMs;
    }
    ~DialogTimes()
    {
        Lm::Updater::UpdaterPauseBeforeDialogMs = 1000;
        Lm::Updater::UpdaterMinDialogShowTimeMs = 500;
    }
};

template <typename Condition>
bool WaitFor(Condition condition, ULONGLONG boundMs = kBoundMs)
{
    ULONGLONG end = GetTickCount64() + boundMs;
    while (!condition()) {
        if (GetTickCount64() > end)
            return false;
        Sleep(10);
    }
    return true;
}

std::wstring ItemText(HWND window, int id)
{
    wchar_t text[256] = L"";
    GetDlgItemTextW(window, id, text, 256);
    return text;
}

bool NoDisplay()
{
    const char* flag = std::getenv("LM_EXPECT_NO_DISPLAY");    // set with a display that cannot be opened
    return flag && flag[0] == '1';
}

// Watches a window's visibility from a thread of its own until stopped.
class VisibilityWatch {
public:
    explicit VisibilityWatch(HWND window)
        : m_thread([this, window] {
              while (!m_stop) {
                  if (IsWindowVisible(window))
                      m_seen = true;
                  Sleep(5);
              }
          })
    {
    }
    ~VisibilityWatch() { Stop(); }
    bool Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_seen;
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_seen{false};
    std::thread m_thread;
};

} // namespace

#define SKIP_WITHOUT_DISPLAY() \
    if (NoDisplay())           \
    GTEST_SKIP() << "needs a display"

TEST(ProgressDialog, hidden_during_the_pause_and_shown_after_it)
{
    SKIP_WITHOUT_DISPLAY();
    DialogTimes times(4000, 0);
    ULONGLONG start = GetTickCount64();
    CProgressDialog dialog(L"Update", L"Checking for updates...", true);
    HWND window = dialog.GetWindow();
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(&dialog, CProgressDialog::GetCurrent());
    EXPECT_FALSE(IsWindowVisible(window));
    VisibilityWatch watch(window);
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(window) != FALSE; }));
    EXPECT_GE(GetTickCount64() - start, 4000u);
    wchar_t caption[64] = L"";
    GetWindowTextW(window, caption, 64);
    EXPECT_EQ(std::wstring(L"Update"), caption);
    EXPECT_EQ(L"Checking for updates...", ItemText(window, IDC_UPDATER_STATUS));
    EXPECT_EQ(0, GetWindowLongW(window, GWL_STYLE) & WS_SYSMENU);
}

TEST(ProgressDialog, the_bar_and_the_status_line_follow_the_main_flow)
{
    SKIP_WITHOUT_DISPLAY();
    DialogTimes times(0, 0);
    CProgressDialog dialog(L"Update", L"Checking for updates...", true);
    HWND window = dialog.GetWindow();
    HWND bar = GetDlgItem(window, IDC_UPDATER_PROGRESS);
    ASSERT_NE(nullptr, bar);
    EXPECT_EQ(0, SendMessageW(bar, PBM_GETRANGE, TRUE, 0));
    EXPECT_EQ(100, SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
    struct {
        std::int32_t set;
        LRESULT shown;
    } const cases[] = {{37, 37}, {150, 100}, {10, 10}, {100, 100}, {-5, 0}, {99, 99}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.set);
        dialog.SetProgress(c.set);
        EXPECT_TRUE(WaitFor([&] { return SendMessageW(bar, PBM_GETPOS, 0, 0) == c.shown; }))
            << SendMessageW(bar, PBM_GETPOS, 0, 0);
    }
    for (const wchar_t* text : {L"Downloading update...", L"Applying update...", L""}) {
        dialog.SetStatusText(text);
        EXPECT_TRUE(WaitFor([&] { return ItemText(window, IDC_UPDATER_STATUS) == text; }));
    }
}

TEST(ProgressDialog, stopped_before_the_pause_it_is_never_shown)
{
    SKIP_WITHOUT_DISPLAY();
    DialogTimes times(5000, 500);
    ULONGLONG start = 0;
    {
        CProgressDialog dialog(L"Update", L"Checking for updates...", true);
        HWND window = dialog.GetWindow();
        VisibilityWatch watch(window);
        Sleep(300);
        dialog.SignalStop();
        start = GetTickCount64();
        ASSERT_TRUE(WaitFor([&] { return dialog.GetWindow() == nullptr; }));
        EXPECT_FALSE(IsWindow(window));
        EXPECT_FALSE(watch.Stop());
    }
    EXPECT_LT(GetTickCount64() - start, kBoundMs);
    EXPECT_EQ(nullptr, CProgressDialog::GetCurrent());
}

TEST(ProgressDialog, once_shown_it_stays_for_the_minimum_time)
{
    SKIP_WITHOUT_DISPLAY();
    DialogTimes times(1000, 3000);
    ULONGLONG start = GetTickCount64();
    CProgressDialog* dialog = new CProgressDialog(L"Update", L"Applying update...", true);
    HWND window = dialog->GetWindow();
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(window) != FALSE; }));
    dialog->SignalStop();
    EXPECT_TRUE(IsWindowVisible(window));
    delete dialog;                        // waits out the minimum time
    EXPECT_FALSE(IsWindow(window));
    // Shown no earlier than the pause after creation, gone no earlier than the minimum after that.
    EXPECT_GE(GetTickCount64() - start, 4000u);
}

TEST(ProgressDialog, a_second_dialog_gives_514_and_leaves_the_first)
{
    SKIP_WITHOUT_DISPLAY();
    DialogTimes times(0, 0);
    CProgressDialog first(L"Update", L"first", true);
    try {
        CProgressDialog second(L"Update", L"second", true);
        FAIL() << "no exception";
    } catch (const CExitCodeException& e) {
        EXPECT_EQ(514, e.GetCode());
    }
    EXPECT_EQ(&first, CProgressDialog::GetCurrent());
    ASSERT_NE(nullptr, first.GetWindow());
    first.SetStatusText(L"still here");
    EXPECT_TRUE(WaitFor([&] { return ItemText(first.GetWindow(), IDC_UPDATER_STATUS) == L"still here"; }));
}

TEST(ProgressDialog, with_show_off_it_is_never_shown_but_owns_the_boxes)
{
    SKIP_WITHOUT_DISPLAY();
    DialogTimes times(0, 500);
    CProgressDialog dialog(L"Update", L"Checking for updates...", false);
    HWND window = dialog.GetWindow();
    ASSERT_NE(nullptr, window);
    VisibilityWatch watch(window);
    Sleep(500);    // past the pause
    const std::wstring caption = LmTest::UniqueName(L"Box");
    std::atomic<HWND> owner{nullptr};
    std::thread answer([&] {
        HWND box = nullptr;
        WaitFor([&] { return (box = FindWindowW(L"#32770", caption.c_str())) != nullptr && IsWindowVisible(box); }, 30000);
        if (box) {
            owner = GetWindow(box, GW_OWNER);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    });
    int pressed = MessageBoxW(window, L"Sorry, a check for updates is needed.", caption.c_str(), MB_OK | MB_ICONERROR);
    answer.join();
    EXPECT_EQ(IDOK, pressed);
    EXPECT_EQ(window, owner.load());
    dialog.SignalStop();
    EXPECT_TRUE(WaitFor([&] { return dialog.GetWindow() == nullptr; }));
    EXPECT_FALSE(watch.Stop());
}

TEST(ProgressDialog, destroyed_during_the_minimum_time_again_and_again)
{
    // Round after round, stopped at once, during the pause or (shown at once) during the minimum
    // time: each time the destructor returns only once the UI thread has destroyed the window, a
    // window that was shown stayed its minimum time, and the slot is free for the next one.
    SKIP_WITHOUT_DISPLAY();
    // Long enough to tell from the time Xvfb takes to destroy a shown window (about 2 s).
    const std::int32_t minShowMs = 4000;
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        const bool shownAtOnce = i % 3 == 0;     // no pause, and the stop only once it is visible
        const bool show = i % 4 != 1;
        DialogTimes times(shownAtOnce ? 0 : 30, minShowMs);
        HWND window = nullptr;
        bool wasShown = false;
        const ULONGLONG start = GetTickCount64();
        {
            CProgressDialog dialog(L"Update", L"round " + std::to_wstring(i), show);
            window = dialog.GetWindow();
            ASSERT_NE(nullptr, window);
            dialog.SetProgress(i * 10);
            dialog.SetStatusText(L"going");
            if (shownAtOnce && show)
                wasShown = WaitFor([&] { return IsWindowVisible(window) != FALSE; });
            else if (i % 2)
                Sleep(40);
            dialog.SignalStop();
        }
        const ULONGLONG lived = GetTickCount64() - start;
        EXPECT_FALSE(IsWindow(window));
        EXPECT_EQ(nullptr, CProgressDialog::GetCurrent());
        if (shownAtOnce && show) {
            EXPECT_TRUE(wasShown);
            EXPECT_GE(lived, static_cast<ULONGLONG>(minShowMs));
        }
        EXPECT_LT(lived, kBoundMs);
    }
}

TEST(ProgressDialog, without_a_display_the_constructor_gives_515_and_clears_the_window_slot)
{
    if (!NoDisplay())
        GTEST_SKIP() << "runs with a display that cannot be opened only";
    for (int i = 0; i < 2; ++i) {
        try {
            CProgressDialog dialog(L"Update", L"text", true);
            FAIL() << "no exception";
        } catch (const CExitCodeException& e) {
            EXPECT_EQ(515, e.GetCode());     // not 514 the second time
        }
        EXPECT_EQ(nullptr, CProgressDialog::GetCurrent());
    }
}
