// The main thread's page protocol: each page event in each page state, against the install
// steps called, the commands the page received and the question box answered.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BoxAnswer.h"
#include "InstallerPageStandIn.h"
#include "Installer/HandleUiEvent.h"
#include "Installer/InstallerMessageTable.h"
#include "Installer/PageProtocol.h"
#include "TestRegistry.h"
#include "TestSupport.h"
#include "TrustedTestOwner.h"

using namespace Lm::Installer;
using LmTest::UiHarness;

namespace {

class CRecordingSteps : public IInstallSteps {
public:
    CRecordingSteps(LmTest::PageRecord& record, const std::wstring& entryKey) : m_record(record), m_entryKey(entryKey) {}
    void DoInstall() override
    {
        const std::vector<std::wstring> seen = m_record.Entries();
        progressShownAtInstall = std::find(seen.begin(), seen.end(), kScriptShowProgress) != seen.end();
        calls.push_back(L"DoInstall");
        if (duringInstall)
            duringInstall();
    }
    void FinishInstall() override { calls.push_back(L"FinishInstall"); }
    void WriteTouchpointUninstallEntry() override
    {
        calls.push_back(L"WriteEntry");
        LmTest::RegSetText(m_entryKey, L"DisplayName", L"Larchmeadow Games App");
    }

    std::vector<std::wstring> calls;
    std::function<void()> duringInstall;
    bool progressShownAtInstall = false;

private:
    LmTest::PageRecord& m_record;
    std::wstring m_entryKey;
};

// Presses No on any question box of this process while it lives, and says whether one came.
class CBoxGuard {
public:
    explicit CBoxGuard(const std::wstring& caption)
        : m_thread([this, caption] {
              while (!m_stop) {
                  if (LmTest::AnswerBox(caption, IDNO, 200, GetCurrentProcessId()).found)
                      m_found = true;
              }
          })
    {
    }
    ~CBoxGuard()
    {
        m_stop = true;
        m_thread.join();
    }
    bool Found() const { return m_found; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_found{false};
    std::thread m_thread;
};

enum StartState { FromLoading, FromLicence, FromBeginPosted, FromFinishShown, FromFinished };

struct EventCase {
    const char* name;
    StartState setup;
    bool fullMode;
    const char* ini;                 // settings file text; null: no file
    bool entryExists;                // an earlier install's uninstall entry is there
    const wchar_t* event;
    int box;                         // 0: no question box; else the button pressed
    const wchar_t* duringInstall;    // an event the page raises while the install runs
    int handled;                     // HandleUiEvent calls that returned true
    std::vector<std::wstring> steps;
    std::vector<std::wstring> commands;
    bool entryAfter;
    bool closes;
};

void PrintTo(const EventCase& c, std::ostream* out)
{
    *out << c.name;
}

const std::wstring MAIN = kScriptShowMain;
const std::wstring PROGRESS = kScriptShowProgress;
const std::wstring FINISH = kScriptShowFinish;
const std::wstring BEGIN = kScriptBeginInstall;

const EventCase kCases[] = {
    {"loaded_shows_the_licence", FromLoading, false, nullptr, false, kEventLoaded, 0, nullptr, 1, {}, {MAIN}, false, false},
    {"loaded_after_the_licence_was_agreed_begins", FromLoading, false, "[Main]\r\nDownloadEULAAgreed=true\r\n", false,
     kEventLoaded, 0, nullptr, 1, {}, {PROGRESS, BEGIN}, false, false},
    {"loaded_after_the_oem_licence_was_agreed_begins", FromLoading, false, "[Main]\r\nOEMEULAAgreed=TRUE\r\n", false,
     kEventLoaded, 0, nullptr, 1, {}, {PROGRESS, BEGIN}, false, false},
    {"loaded_with_the_flag_in_another_case_shows_the_licence", FromLoading, false,
     "[Main]\r\nDownloadEULAAgreed=True\r\n", false, kEventLoaded, 0, nullptr, 1, {}, {MAIN}, false, false},
    {"loaded_in_full_mode_installs_finishes_and_closes", FromLoading, true, nullptr, false, kEventLoaded, 0, nullptr, 1,
     {L"DoInstall", L"FinishInstall"}, {PROGRESS, L"close"}, false, true},
    {"a_second_loaded_is_dropped", FromLicence, false, nullptr, false, kEventLoaded, 0, nullptr, 1, {}, {}, false, false},
    {"begin_on_the_licence_installs_then_shows_the_finish", FromLicence, false, nullptr, false, kEventBegin, 0, nullptr,
     1, {L"DoInstall"}, {FINISH}, false, false},
    {"begin_after_begin_install_was_posted_installs", FromBeginPosted, false, "[Main]\r\nDownloadEULAAgreed=true\r\n",
     false, kEventBegin, 0, nullptr, 1, {L"DoInstall"}, {FINISH}, false, false},
    {"begin_before_the_licence_was_shown_is_dropped", FromLoading, false, nullptr, false, kEventBegin, 0, nullptr, 0, {},
     {}, false, false},
    {"a_second_begin_is_dropped", FromFinishShown, false, nullptr, false, kEventBegin, 0, nullptr, 1, {}, {}, false,
     false},
    {"cancel_on_the_licence_answered_no_shows_the_window_again", FromLicence, false, nullptr, false, kEventCancel, IDNO,
     nullptr, 1, {}, {L"hide", L"show"}, false, false},
    {"cancel_answered_yes_writes_the_entry_removes_it_and_closes", FromLicence, false, nullptr, false, kEventCancel,
     IDYES, nullptr, 1, {L"WriteEntry"}, {L"hide", L"close"}, false, true},
    {"cancel_answered_yes_keeps_an_earlier_installs_entry", FromLicence, false, nullptr, true, kEventCancel, IDYES,
     nullptr, 1, {}, {L"hide", L"close"}, true, true},
    {"cancel_while_the_page_loads_is_asked", FromLoading, false, nullptr, false, kEventCancel, IDYES, nullptr, 1,
     {L"WriteEntry"}, {L"hide", L"close"}, false, true},
    {"cancel_after_begin_install_was_posted_is_asked", FromBeginPosted, false, "[Main]\r\nDownloadEULAAgreed=true\r\n",
     false, kEventCancel, IDNO, nullptr, 1, {}, {L"hide", L"show"}, false, false},
    {"cancel_on_the_finish_view_is_dropped", FromFinishShown, false, nullptr, false, kEventCancel, 0, nullptr, 1, {}, {},
     false, false},
    {"cancel_queued_during_the_install_is_dropped", FromLicence, false, nullptr, false, kEventBegin, 0, kEventCancel, 2,
     {L"DoInstall"}, {FINISH}, false, false},
    {"cancel_queued_during_a_full_mode_install_is_dropped", FromLoading, true, nullptr, false, kEventLoaded, 0,
     kEventCancel, 2, {L"DoInstall", L"FinishInstall"}, {PROGRESS, L"close"}, false, true},
    {"finish_on_the_finish_view_finishes_and_closes", FromFinishShown, false, nullptr, false, kEventFinish, 0, nullptr,
     1, {L"FinishInstall"}, {L"close"}, false, true},
    {"cancel_on_the_finish_page_finishes_and_closes", FromFinishShown, false, nullptr, false, kEventCancelOnFinishPage,
     0, nullptr, 1, {L"FinishInstall"}, {L"close"}, false, true},
    {"finish_before_the_finish_view_is_dropped", FromLicence, false, nullptr, false, kEventFinish, 0, nullptr, 1, {}, {},
     false, false},
    {"finish_after_the_finish_is_dropped", FromFinished, false, nullptr, false, kEventFinish, 0, nullptr, 2,
     {L"FinishInstall"}, {L"close"}, false, true},
    {"begin_after_the_finish_is_dropped", FromFinished, false, nullptr, false, kEventBegin, 0, nullptr, 2,
     {L"FinishInstall"}, {L"close"}, false, true},
    {"cancel_after_the_finish_is_dropped", FromFinished, false, nullptr, false, kEventCancel, 0, nullptr, 2,
     {L"FinishInstall"}, {L"close"}, false, true},
    {"an_unknown_event_is_dropped", FromLicence, false, nullptr, false, L"HtmlInstallSomethingElse", 0, nullptr, 0, {},
     {}, false, false},
};

class PageEvent : public testing::TestWithParam<EventCase> {
protected:
    void SetUp() override
    {
        const EventCase& c = GetParam();
        entryKey = L"HKLM\\Software\\Larchmeadow\\Tests\\" + LmTest::UniqueName(L"TouchpointEntry");
        context.fullMode = c.fullMode;
        context.touchpointEntryKey = entryKey;
        context.settingsIni = settings / L"Larchmeadow.ini";
        if (c.ini)
            LmTest::WriteFileUtf8(context.settingsIni, std::wstring(c.ini, c.ini + strlen(c.ini)));
        // The settings file counts as the administrators' (under Wine every file is the test user's).
        trusted.reset(new LmTest::TrustedTestOwner);
        if (c.entryExists)
            LmTest::RegSetText(entryKey, L"DisplayName", L"an earlier install");
    }
    void TearDown() override
    {
        trusted.reset();
        LmTest::RegDeleteTreeAt(entryKey);
    }

    // Brings the page to the row's state through the events that lead there (FromFinished: the
    // finish is queued but not yet handled).
    void DriveTo(StartState setup, UiHarness& ui, CRecordingSteps& steps)
    {
        if (setup == FromLicence || setup == FromFinishShown || setup == FromFinished || setup == FromBeginPosted) {
            ASSERT_TRUE(ui.Raise(kEventLoaded));
            ui.HandleAll(steps);
        }
        if (setup == FromFinishShown || setup == FromFinished) {
            ASSERT_TRUE(ui.Drain());
            ASSERT_TRUE(ui.Raise(kEventBegin));
            ui.HandleAll(steps);
        }
        if (setup == FromFinished) {
            // Finish is queued; the row's event comes after it, before the window has gone.
            ASSERT_TRUE(ui.Raise(kEventFinish));
        }
        ASSERT_TRUE(ui.Drain());
        steps.calls.clear();
    }

    std::wstring entryKey;
    LmTest::ScratchFolder settings{L"lmsettings"};
    CUiContext context;
    std::unique_ptr<LmTest::TrustedTestOwner> trusted;
};

} // namespace

TEST_P(PageEvent, in_its_state_calls_the_steps_posts_the_commands_and_asks_the_box)
{
    const EventCase& c = GetParam();
    UiHarness ui(context);
    ASSERT_NE(nullptr, ui.Window());
    CRecordingSteps steps(ui.Record(), entryKey);
    ASSERT_NO_FATAL_FAILURE(DriveTo(c.setup, ui, steps));
    const size_t mark = ui.Record().Size();
    if (c.duringInstall)
        steps.duringInstall = [&] { ASSERT_TRUE(ui.Raise(c.duringInstall)); };

    const std::wstring caption = InstallerMessageText(GetInstallerMessageRow(0), kMessageCaption);
    int handled = 0;
    if (c.box) {
        LmTest::BoxAnswerer answerer(caption, c.box, 60000, GetCurrentProcessId());
        ASSERT_TRUE(ui.Raise(c.event));
        handled = ui.HandleAll(steps);
        const LmTest::AnsweredBox& box = answerer.Wait();
        ASSERT_TRUE(box.found) << "no question box";
        EXPECT_TRUE(box.pressed);
        EXPECT_EQ(InstallerMessageText(GetInstallerMessageRow(0), kMessageExitQuestion), box.text);
        EXPECT_EQ((std::vector<int>{IDYES, IDNO}), box.buttons);
    } else {
        CBoxGuard guard(caption);
        ASSERT_TRUE(ui.Raise(c.event));
        handled = ui.HandleAll(steps);
        EXPECT_FALSE(guard.Found()) << "a question box came";
    }
    ui.Drain();

    EXPECT_EQ(c.handled, handled);
    EXPECT_EQ(c.steps, steps.calls);
    EXPECT_EQ(c.commands, ui.Record().EntriesFrom(mark));
    EXPECT_EQ(c.entryAfter, LmTest::RegKeyExists(entryKey));
    EXPECT_EQ(c.closes, UiQuitEvent().Wait(0) == WAIT_OBJECT_0);
    if (c.fullMode && !c.steps.empty()) {
        EXPECT_TRUE(steps.progressShownAtInstall) << "the install began before the progress view ran";
    }
    EXPECT_EQ(L"", ui.Window()->PopEvent()) << "every event was taken";
}

INSTANTIATE_TEST_SUITE_P(HandleUiEvent, PageEvent, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<EventCase>& info) { return std::string(info.param.name); });

TEST(HandleUiEvent, without_a_window_there_is_no_event)
{
    Lm::Installer::SetInstallerWindow(nullptr);
    LmTest::PageRecord record;
    CRecordingSteps steps(record, L"HKLM\\Software\\Larchmeadow\\Tests\\unused");
    EXPECT_FALSE(HandleUiEvent(steps, CUiContext{}));
}

TEST(HandleUiEvent, the_full_mode_wait_ends_when_the_ui_thread_ends)
{
    CUiContext context;
    context.fullMode = true;
    UiHarness ui(context);
    ASSERT_NE(nullptr, ui.Window());
    ASSERT_TRUE(ui.Raise(kEventLoaded));
    ui.Window()->PostCommand(L"test:page-close");
    ASSERT_TRUE(ui.WaitFinished(60000));
    LmTest::PageRecord record;
    CRecordingSteps steps(record, L"HKLM\\Software\\Larchmeadow\\Tests\\unused");
    EXPECT_TRUE(HandleUiEvent(steps, context));
    EXPECT_TRUE(steps.calls.empty()) << "no install without the window";
}

TEST(HandleUiEvent, licence_flags_count_only_as_true_or_TRUE)
{
    LmTest::ScratchFolder folder(L"lmsettings");
    CUiContext context;
    context.settingsIni = folder / L"Larchmeadow.ini";
    EXPECT_FALSE(IsLicenceAgreed(context)) << "no settings file";

    // A file of an ordinary user's agrees to nothing: under Wine, without the stand-in owner,
    // this test's file is one; on Windows, where the test runs elevated, it is the administrators'.
    LmTest::WriteFileUtf8(context.settingsIni, L"[Main]\r\nDownloadEULAAgreed=true\r\n");
    if (!Lm::System::IO::IsAdministratorsOwned(context.settingsIni)) {
        EXPECT_FALSE(IsLicenceAgreed(context)) << "a planted file skipped the licence";
    }
    LmTest::TrustedTestOwner trusted;
    struct Case {
        const wchar_t* text;
        bool agreed;
    } const cases[] = {
        {L"[Main]\r\nDownloadEULAAgreed=true\r\n", true},
        {L"[Main]\r\nDownloadEULAAgreed=TRUE\r\n", true},
        {L"[Main]\r\nOEMEULAAgreed=true\r\n", true},
        {L"[Main]\r\nDownloadEULAAgreed=True\r\n", false},
        {L"[Main]\r\nDownloadEULAAgreed=1\r\n", false},
        {L"[Main]\r\nDownloadEULAAgreed=false\r\nOEMEULAAgreed=TRUE\r\n", true},
        {L"[Other]\r\nDownloadEULAAgreed=true\r\n", false},
        {L"", false},
    };
    for (const Case& c : cases) {
        LmTest::WriteFileUtf8(context.settingsIni, c.text);
        EXPECT_EQ(c.agreed, IsLicenceAgreed(context)) << c.text;
    }
}

namespace {

// Brings a fresh window through load and licence (and the install, when asked) as a user would.
void AgreeAndInstall(UiHarness& ui, CRecordingSteps& steps, bool install)
{
    ASSERT_TRUE(ui.Raise(kEventLoaded));
    ui.HandleAll(steps);
    ASSERT_TRUE(ui.Drain());
    if (install) {
        ASSERT_TRUE(ui.Raise(kEventBegin));
        ui.HandleAll(steps);
        ASSERT_TRUE(ui.Drain());
    }
    steps.calls.clear();
}

bool SendToWindow(UiHarness& ui, UINT message, WPARAM wParam)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(ui.Window()->GetHwnd(), message, wParam, 0, SMTO_NORMAL, 30000, &result) != 0;
}

} // namespace

TEST(HandleUiEvent, alt_f4_on_the_finish_view_finishes_and_ends_the_window)
{
    UiHarness ui(CUiContext{});
    ASSERT_NE(nullptr, ui.Window());
    CRecordingSteps steps(ui.Record(), L"HKLM\\Software\\Larchmeadow\\Tests\\unused");
    ASSERT_NO_FATAL_FAILURE(AgreeAndInstall(ui, steps, true));
    // Alt+F4 and the taskbar's Close come as SC_CLOSE, which becomes WM_CLOSE.
    ASSERT_TRUE(SendToWindow(ui, WM_SYSCOMMAND, SC_CLOSE));
    ui.HandleAll(steps);
    EXPECT_EQ((std::vector<std::wstring>{L"FinishInstall"}), steps.calls);
    EXPECT_TRUE(ui.WaitFinished(60000));
}

TEST(HandleUiEvent, closing_the_licence_view_asks_and_yes_ends_the_window)
{
    const std::wstring entryKey = L"HKLM\\Software\\Larchmeadow\\Tests\\" + LmTest::UniqueName(L"TouchpointEntry");
    CUiContext context;
    context.touchpointEntryKey = entryKey;
    LmTest::ScratchFolder settings(L"lmsettings");
    context.settingsIni = settings / L"Larchmeadow.ini";
    UiHarness ui(context);
    ASSERT_NE(nullptr, ui.Window());
    CRecordingSteps steps(ui.Record(), entryKey);
    ASSERT_NO_FATAL_FAILURE(AgreeAndInstall(ui, steps, false));
    ASSERT_TRUE(SendToWindow(ui, WM_CLOSE, 0));
    LmTest::BoxAnswerer answerer(InstallerMessageText(GetInstallerMessageRow(0), kMessageCaption), IDYES, 60000,
                                 GetCurrentProcessId());
    ui.HandleAll(steps);
    EXPECT_TRUE(answerer.Wait().found);
    EXPECT_EQ((std::vector<std::wstring>{L"WriteEntry"}), steps.calls);
    EXPECT_TRUE(ui.WaitFinished(60000));
    EXPECT_FALSE(LmTest::RegKeyExists(entryKey));
    LmTest::RegDeleteTreeAt(entryKey);
}

TEST(HandleUiEvent, closing_while_installing_is_refused)
{
    LmTest::ScratchFolder settings(L"lmsettings");
    CUiContext context;
    context.settingsIni = settings / L"Larchmeadow.ini";
    UiHarness ui(context);
    ASSERT_NE(nullptr, ui.Window());
    CRecordingSteps steps(ui.Record(), L"HKLM\\Software\\Larchmeadow\\Tests\\unused");
    ASSERT_NO_FATAL_FAILURE(AgreeAndInstall(ui, steps, false));
    steps.duringInstall = [&] { EXPECT_TRUE(SendToWindow(ui, WM_CLOSE, 0)); };
    ASSERT_TRUE(ui.Raise(kEventBegin));
    CBoxGuard guard(InstallerMessageText(GetInstallerMessageRow(0), kMessageCaption));
    ui.HandleAll(steps);
    EXPECT_FALSE(guard.Found());
    EXPECT_EQ((std::vector<std::wstring>{L"DoInstall"}), steps.calls);
    EXPECT_EQ(PageStateFinishShown, ui.Window()->GetPageState());
    EXPECT_FALSE(ui.WaitFinished(500)) << "the window stays for the finish view";
}
