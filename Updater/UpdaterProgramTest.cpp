// The built Updater.exe, run as its callers run it: a copy in a folder of its own with StandIn.exe
// beside it as Park.exe, against the test server's client-services stand-in (its reply chosen by
// the product name), with the three update events made first by the test. What a caller sees: the
// exit code, the events in the order they were set, the boxes, the analytics events the collect
// stand-in received (found by the run's own locale tag), the package's and Park's records.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>
#include <vector>

#include "BoxAnswer.h"
#include "CommonAppLogic/SecureTemporaryFolder.h"
#include "StandInLog.h"
#include "System/Io/Directory.h"
#include "System/Net/MultiStreamDownload/ProgressFile.h"
#include "System/String/AnsiWide.h"
#include "System/Win32/RegistryKey.h"
#include "TestServer.h"
#include "TestSupport.h"
#include "Updater/UpdaterContract.h"
#include "Updater/UpdaterMain.h"
#include "UpdaterTestSupport.h"

using namespace Lm::Updater;
using LmTest::TestProduct;

namespace {

// Updater.exe copied into a folder of its own, with StandIn.exe as the Park beside it.
class UpdaterCopy {
public:
    UpdaterCopy()
    {
        CopyFileW(LmTest::Program(L"Updater.exe").c_str(), Path().c_str(), FALSE);
        LmTest::InstallStandIn(folder_.Path(), L"Park.exe");
    }
    std::wstring Path() const { return folder_ / L"Updater.exe"; }

private:
    LmTest::ScratchFolder folder_{L"lmupdater"};
};

struct RunOutcome {
    bool finished = false;
    DWORD exitCode = 0;
    std::vector<std::wstring> events;   // "No", "Yes", "Deny" in the order they were set
    bool windowShown = false;           // a visible window of the process appeared (when watched)
};

// Runs the copy with the arguments. The three events of the product are made first; a watcher
// waits on them (UpdateNo first: an event set later is never reported before it). during runs on
// this thread while the Updater runs. The windows of the process are looked at by another process
// (WindowWatcher.exe), so that this one never touches the window system.
RunOutcome RunUpdaterCopy(const UpdaterCopy& copy, const std::wstring& product, const std::wstring& arguments,
                          const std::function<void(HANDLE, DWORD)>& during = nullptr, bool watchWindows = false)
{
    LmTest::StandInLogs();   // where the package and Park stand-ins write their records
    RunOutcome outcome;
    HANDLE events[3] = {CreateEventW(nullptr, FALSE, FALSE, GetUpdateNoEventName(product).c_str()),
                        CreateEventW(nullptr, FALSE, FALSE, GetUpdateYesEventName(product).c_str()),
                        CreateEventW(nullptr, FALSE, FALSE, GetUpdateDenyEventName(product).c_str())};
    const wchar_t* names[3] = {L"No", L"Yes", L"Deny"};
    HANDLE process = LmTest::StartProgram(copy.Path(), arguments);
    if (process == nullptr) {
        for (HANDLE e : events)
            CloseHandle(e);
        return outcome;
    }
    const DWORD pid = GetProcessId(process);
    HANDLE windowWatcher = watchWindows ? LmTest::StartProgram(LmTest::Tool(L"WindowWatcher.exe"), std::to_wstring(pid))
                                        : nullptr;
    std::thread watcher([&] {
        HANDLE all[4] = {events[0], events[1], events[2], process};
        for (;;) {
            const DWORD which = WaitForMultipleObjects(4, all, FALSE, INFINITE);
            if (which >= WAIT_OBJECT_0 + 3)
                break;
            outcome.events.push_back(names[which - WAIT_OBJECT_0]);
        }
        for (int i = 0; i < 3; ++i) {
            if (WaitForSingleObject(events[i], 0) == WAIT_OBJECT_0)
                outcome.events.push_back(names[i]);
        }
    });
    if (during)
        during(process, pid);
    outcome.finished = WaitForSingleObject(process, 150000) == WAIT_OBJECT_0;
    if (!outcome.finished)
        TerminateProcess(process, 0xDEAD);
    watcher.join();
    GetExitCodeProcess(process, &outcome.exitCode);
    if (windowWatcher != nullptr) {
        DWORD seen = 2;
        if (WaitForSingleObject(windowWatcher, 30000) == WAIT_OBJECT_0)
            GetExitCodeProcess(windowWatcher, &seen);
        outcome.windowShown = seen == 1;
        CloseHandle(windowWatcher);
    }
    CloseHandle(process);
    for (HANDLE e : events)
        CloseHandle(e);
    return outcome;
}

// A box of the process answered by BoxAnswerer.exe (another process, see above).
LmTest::AnsweredBox AnswerBoxOf(DWORD pid, const wchar_t* button, DWORD timeoutMs)
{
    LmTest::ScratchFolder folder(L"lmbox");
    const std::wstring out = folder / L"box.txt";
    LmTest::RunResult run = LmTest::RunProgram(LmTest::Tool(L"BoxAnswerer.exe"),
                                               L"/caption Update /button " + std::wstring(button) + L" /timeout " +
                                                   std::to_wstring(timeoutMs) + L" /pid " + std::to_wstring(pid) +
                                                   L" /out \"" + out + L"\"",
                                               timeoutMs + 60000);
    LmTest::AnsweredBox box;
    box.found = run.finished && run.exitCode != 1;
    box.pressed = run.finished && run.exitCode == 0;
    const std::wstring report = LmTest::ReadFileUtf8(out);
    auto field = [&](const std::wstring& name) {
        const size_t at = report.find(L"\r\n" + name + L"=");
        const size_t start = at == std::wstring::npos ? std::wstring::npos : at + name.size() + 3;
        return start == std::wstring::npos ? std::wstring() : report.substr(start, report.find(L"\r\n", start) - start);
    };
    box.text = field(L"text");
    std::wstring buttons = field(L"buttons");
    for (size_t at = 0; at < buttons.size();) {
        box.buttons.push_back(_wtoi(buttons.c_str() + at));
        const size_t comma = buttons.find(L',', at);
        at = comma == std::wstring::npos ? buttons.size() : comma + 1;
    }
    return box;
}

// A locale tag of the run's own: English for the Updater's texts, and the "ul" of every analytics
// event it sends, by which the collect stand-in's log tells its events from those of other runs.
std::wstring RunLocale()
{
    return LmTest::UniqueName(L"en-x-t");
}

// The results ("ep.result") of the analytics events of a run, once the expected one has arrived
// (or the time is up).
std::vector<std::string> AnalyticsResults(const std::wstring& locale, const std::string& awaited = "",
                                          DWORD timeoutMs = 30000)
{
    const std::string tag = "ul=" + Lm::WideToAnsi(locale) + "&";
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        std::vector<std::string> results;
        bool found = awaited.empty();
        for (const std::string& line : LmTest::ServerLogLines(tag, 0)) {
            if (line.find("\"path\": \"/g/collect\"") == std::string::npos)
                continue;
            const size_t at = line.find("ep.result=");
            if (at == std::string::npos)
                continue;
            const std::string result = line.substr(at + 10, line.find_first_of("&\"", at + 10) - at - 10);
            results.push_back(result);
            found = found || result == awaited;
        }
        if (found || GetTickCount64() >= end)
            return results;
        Sleep(200);
    }
}

// The runs of the package of that name for the product (the Park copy it is given lies in the
// product's work folder).
std::vector<LmTest::StandInRecord> PackageRuns(const TestProduct& product, const std::wstring& name = L"Package.exe")
{
    std::vector<LmTest::StandInRecord> runs;
    for (const LmTest::StandInRecord& record : LmTest::RecordsOfProgram(name)) {
        if (record.arguments.find(L"/park=\"" + product.Folder()) == 0)
            runs.push_back(record);
    }
    return runs;
}

std::vector<std::wstring> ParkCopies(const TestProduct& product)
{
    return Lm::System::IO::CDirectory::GetFiles(product.Folder(), L"Park-{*}.exe");
}

std::wstring ProductArgument(const TestProduct& product, const std::wstring& locale)
{
    return L"/product=" + product.Name() + L" /locale=" + locale;
}

using Events = std::vector<std::wstring>;
using Results = std::vector<std::string>;

} // namespace

TEST(UpdaterProgram, a_signed_package_runs_under_park_and_the_run_succeeds)
{
    UpdaterCopy copy;
    TestProduct product("package");
    const std::wstring locale = RunLocale();
    RunOutcome run = RunUpdaterCopy(copy, product.Name(),
                                    ProductArgument(product, locale) + L" /dp=partner /appargs=/fast "
                                                                       L"/installerargs=/nolaunchapp /x");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ((Events{L"Yes"}), run.events);
    EXPECT_EQ((Results{"Succeeded"}), AnalyticsResults(locale, "Succeeded"));

    auto copies = ParkCopies(product);
    ASSERT_EQ(1u, copies.size());
    auto packageRuns = PackageRuns(product);
    ASSERT_EQ(1u, packageRuns.size());
    EXPECT_EQ(L"/park=\"" + copies[0] + L"\" /nolaunchapp /x", packageRuns[0].arguments);
    // Elevated (as every program under Wine), the package ran from a held copy in a folder only
    // administrators can write, and that folder is gone with the run.
    const std::wstring started = LmTest::FolderOf(packageRuns[0].exe);
    EXPECT_TRUE(Lm::CommonAppLogic::InstallUtils::CSecureTemporaryFolder::IsNamedAsMadeWith(
        kElevatedPackageFolderPrefix, started))
        << Lm::WideToAnsi(packageRuns[0].exe);
    EXPECT_EQ(started, packageRuns[0].workdir);
    EXPECT_FALSE(LmTest::DirectoryExists(started));
    auto parkRuns = LmTest::WaitForStandInRecords(LmTest::StandInLogOfProgram(copies[0]), 1, 30000);
    ASSERT_EQ(1u, parkRuns.size());
    EXPECT_NE(std::wstring::npos,
              parkRuns[0].arguments.find(L"/LaunchParams \"/noupdate! /userlocale " + locale + L" /fast /dp partner\""));
    EXPECT_TRUE(LmTest::FileExists(product.LogPath()));
}

TEST(UpdaterProgram, the_package_exit_code_reaches_analytics_only)
{
    struct Case {
        const char* scenario;
        const char* result;
    } cases[] = {
        {"package-exit1", "InstallerExitCode1"},
        {"package-exit0xC0000005", "InstallerExitCode3221225477"},
    };
    UpdaterCopy copy;
    for (const Case& c : cases) {
        TestProduct product(c.scenario);
        const std::wstring locale = RunLocale();
        RunOutcome run = RunUpdaterCopy(copy, product.Name(), ProductArgument(product, locale));
        ASSERT_TRUE(run.finished) << c.scenario;
        EXPECT_EQ(0u, run.exitCode) << c.scenario;
        EXPECT_EQ((Events{L"Yes"}), run.events) << c.scenario;
        EXPECT_EQ((Results{c.result}), AnalyticsResults(locale, c.result)) << c.scenario;
    }
}

TEST(UpdaterProgram, the_installers_command_line_shows_no_window_and_starts_no_park_machine_progress)
{
    // Without /noprog the window shows once its pause is over (the package takes 2.5 s) ...
    UpdaterCopy copy;
    {
        TestProduct product("package-sleep2500");
        RunOutcome run = RunUpdaterCopy(copy, product.Name(), ProductArgument(product, RunLocale()), nullptr, true);
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_TRUE(run.windowShown);
    }
    // ... unless the developer setting holds it back longer than the run lasts ...
    {
        const std::wstring debugging = L"HKLM\\SOFTWARE\\Larchmeadow\\Debugging";
        Lm::System::Win32::CRegistryKey(debugging, false).SetUint32(L"UpdaterPauseBeforeDialogMs", 60000);
        TestProduct product("package-sleep2500");
        RunOutcome run = RunUpdaterCopy(copy, product.Name(), ProductArgument(product, RunLocale()), nullptr, true);
        Lm::System::Win32::CRegistryKey::DeleteValue(debugging, L"UpdaterPauseBeforeDialogMs");
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_FALSE(run.windowShown);
    }
    // ... with the Installer's line it never does, Park is only copied, and the download's
    // percentage goes to the Installer's "Download" value.
    const std::wstring status = L"HKLM\\Software\\Larchmeadow\\InstallerStatus";
    const bool statusExisted = Lm::System::Win32::CRegistryKey::KeyExists(status);
    Lm::System::Win32::CRegistryKey(status, false).SetString(L"Download", L"0");
    TestProduct product("package-sleep2500");
    RunOutcome run = RunUpdaterCopy(copy, product.Name(),
                                    L"/product=" + product.Name() +
                                        L" /noprog /noparking /emitdownloadprogress /dp=partner /installerargs=/nolaunchapp",
                                    nullptr, true);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_FALSE(run.windowShown);
    EXPECT_EQ((Events{L"Yes"}), run.events);
    EXPECT_EQ(L"100", Lm::System::Win32::CRegistryKey(status, true).GetString(L"Download", L""));
    auto copies = ParkCopies(product);
    ASSERT_EQ(1u, copies.size());
    EXPECT_TRUE(LmTest::RecordsOfProgram(copies[0]).empty());
    auto packageRuns = PackageRuns(product, L"Package_sleep2500.exe");
    ASSERT_EQ(1u, packageRuns.size());
    EXPECT_EQ(L"/park=\"" + copies[0] + L"\" /nolaunchapp", packageRuns[0].arguments);
    if (statusExisted)
        Lm::System::Win32::CRegistryKey::DeleteValue(status, L"Download");
    else
        Lm::System::Win32::CRegistryKey::DeleteKeyTree(status);
}

TEST(UpdaterProgram, no_package_in_the_reply_ends_with_3_and_reports_nothing)
{
    UpdaterCopy copy;
    TestProduct product("object");
    const std::wstring locale = RunLocale();
    RunOutcome run = RunUpdaterCopy(copy, product.Name(), ProductArgument(product, locale));
    EXPECT_EQ(3u, run.exitCode);
    EXPECT_EQ((Events{L"No"}), run.events);
    EXPECT_TRUE(AnalyticsResults(locale, "", 2000).empty());
}

TEST(UpdaterProgram, declining_the_prompt_ends_with_4_deny_before_no)
{
    const wchar_t* const question = L"There is an update available. Would you like to receive it?";
    UpdaterCopy copy;
    for (const wchar_t* options : {L"/prompt", L"/prompt /notify"}) {
        TestProduct product("package");
        const std::wstring locale = RunLocale();
        LmTest::AnsweredBox box;
        RunOutcome run = RunUpdaterCopy(copy, product.Name(), ProductArgument(product, locale) + L" /noprog " + options,
                                        [&](HANDLE, DWORD pid) { box = AnswerBoxOf(pid, L"no", 60000); });
        ASSERT_TRUE(run.finished) << Lm::WideToAnsi(options);
        EXPECT_EQ(4u, run.exitCode) << Lm::WideToAnsi(options);
        EXPECT_EQ((Events{L"Deny", L"No"}), run.events) << Lm::WideToAnsi(options);
        EXPECT_TRUE(box.pressed);
        EXPECT_EQ(question, box.text);
        EXPECT_EQ((std::vector<int>{IDYES, IDNO}), box.buttons);
        EXPECT_TRUE(PackageRuns(product).empty());
        EXPECT_TRUE(LmTest::ServerLogLines("tag=" + product.Tag(), 0).empty()) << "nothing was downloaded";
        EXPECT_TRUE(AnalyticsResults(locale, "", 2000).empty());
    }
}

TEST(UpdaterProgram, with_prompt_and_notify_only_the_question_is_shown)
{
    const wchar_t* const question = L"There is an update available. Would you like to receive it?";
    UpdaterCopy copy;
    TestProduct product("package");
    std::vector<std::wstring> texts;
    RunOutcome run = RunUpdaterCopy(copy, product.Name(), ProductArgument(product, RunLocale()) + L" /noprog /prompt /notify",
                                    [&](HANDLE process, DWORD pid) {
                                        LmTest::AnsweredBox box = AnswerBoxOf(pid, L"yes", 60000);
                                        texts.push_back(box.text);
                                        // Every other box of the run, until it ends (the question
                                        // itself may still be seen while it closes).
                                        while (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
                                            box = AnswerBoxOf(pid, L"ok", 1000);
                                            if (box.found && box.text != question)
                                                texts.push_back(box.text);
                                        }
                                    });
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ((std::vector<std::wstring>{question}), texts);
    EXPECT_EQ(1u, PackageRuns(product).size());
}

TEST(UpdaterProgram, the_notice_is_shown_and_the_run_goes_on)
{
    UpdaterCopy copy;
    TestProduct product("package");
    LmTest::AnsweredBox box;
    RunOutcome run = RunUpdaterCopy(copy, product.Name(), ProductArgument(product, RunLocale()) + L" /noprog /notify",
                                    [&](HANDLE, DWORD pid) { box = AnswerBoxOf(pid, L"ok", 60000); });
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(box.pressed);
    EXPECT_EQ(L"An update is needed to show this web page. After the update, you will be returned to the web page.",
              box.text);
    EXPECT_EQ(1u, PackageRuns(product).size());
}

TEST(UpdaterProgram, failures_end_with_their_code_reported)
{
    struct Case {
        const char* scenario;        // the product's scenario; "" for the argument alone
        const wchar_t* product;      // the /product= value when not the scenario's product
        DWORD code;
        const char* result;
        Events events;
    } cases[] = {
        {"", L"", 257, "FailureMainCommandLine", {}},
        {"package-unsigned", nullptr, 260, "FailureMainIsFileLarchmeadowSigned", {L"No"}},
        {"package-hostiledrive", nullptr, 1027, "FailureGetEXEDownloadIsOk", {L"No"}},
        {"invalid", nullptr, 773, "FailureParseURLResponse", {L"No"}},
        {"deep", nullptr, 773, "FailureParseURLResponse", {L"No"}},
        {"slow", nullptr, 770, "FailureGetURLTimeOut", {L"No"}},
    };
    UpdaterCopy copy;
    for (const Case& c : cases) {
        TestProduct product(c.scenario);
        const std::wstring name = c.product ? std::wstring(c.product) : product.Name();
        const std::wstring locale = RunLocale();
        RunOutcome run = RunUpdaterCopy(copy, name, L"/product=" + name + L" /locale=" + locale);
        EXPECT_EQ(c.code, run.exitCode) << c.scenario;
        EXPECT_EQ(c.events, run.events) << c.scenario;
        Results results = AnalyticsResults(locale, c.result);
        ASSERT_FALSE(results.empty()) << c.scenario;
        EXPECT_EQ(c.result, results.back()) << c.scenario;
        EXPECT_TRUE(PackageRuns(product).empty()) << c.scenario;
    }
}

TEST(UpdaterProgram, a_named_park_that_is_not_the_makers_is_never_started)
{
    UpdaterCopy copy;
    TestProduct product("package");
    const std::wstring locale = RunLocale();
    RunOutcome run = RunUpdaterCopy(copy, product.Name(),
                                    ProductArgument(product, locale) + L" /parkpath=" + LmTest::Tool(L"StandIn.exe"));
    EXPECT_EQ(1792u, run.exitCode);
    EXPECT_EQ((Events{L"Yes", L"No"}), run.events);
    EXPECT_EQ((Results{"SpecifiedParkUnsigned", "FailureParkEXEFileExists"}),
              AnalyticsResults(locale, "FailureParkEXEFileExists"));
    EXPECT_TRUE(PackageRuns(product).empty());
    EXPECT_TRUE(ParkCopies(product).empty());
    EXPECT_TRUE(LmTest::RecordsOfProgram(L"StandIn.exe").empty());
}

TEST(UpdaterProgram, a_failed_package_test_is_reported_per_attempt)
{
    UpdaterCopy copy;
    TestProduct product("package-badhash");
    const std::wstring locale = RunLocale();
    RunOutcome run = RunUpdaterCopy(copy, product.Name(), ProductArgument(product, locale));
    EXPECT_EQ(260u, run.exitCode);
    EXPECT_EQ((Results{"PatchHashValue2", "PatchHashValue", "FailureMainIsFileLarchmeadowSigned"}),
              AnalyticsResults(locale, "FailureMainIsFileLarchmeadowSigned"));
    EXPECT_TRUE(PackageRuns(product).empty());
    EXPECT_FALSE(LmTest::FileExists(product.Folder() + L"Package.exe"));
}

TEST(UpdaterProgram, a_product_that_is_no_plain_name_creates_nothing)
{
    UpdaterCopy copy;
    const std::wstring escape = LmTest::UniqueName(L"LmEscape");
    const std::wstring outside = LmTest::RoamingAppData() + L"\\Larchmeadow\\" + escape;
    const std::wstring locale = RunLocale();
    const std::wstring product = L"..\\" + escape;
    RunOutcome run = RunUpdaterCopy(copy, product, L"/product=" + product + L" /locale=" + locale);
    EXPECT_EQ(257u, run.exitCode);
    EXPECT_TRUE(run.events.empty());
    EXPECT_FALSE(LmTest::DirectoryExists(outside));
    EXPECT_FALSE(LmTest::FileExists(LmTest::RoamingAppData() + L"\\Larchmeadow\\Larchmeadow Games\\App\\" + escape +
                                    L"_Update.log"));
    EXPECT_EQ((Results{"FailureMainCommandLine"}), AnalyticsResults(locale, "FailureMainCommandLine"));
}

TEST(UpdaterProgram, a_second_run_for_the_product_ends_with_258)
{
    UpdaterCopy copy;
    TestProduct product("package");
    // What a first run holds: the mutex of a run without /from=.
    HANDLE mutex = CreateMutexW(nullptr, TRUE, GetUpdaterMutexName(product.Name(), false).c_str());
    ASSERT_NE(nullptr, mutex);
    const std::wstring locale = RunLocale();
    RunOutcome run = RunUpdaterCopy(copy, product.Name(), ProductArgument(product, locale));
    EXPECT_EQ(258u, run.exitCode);
    EXPECT_TRUE(run.events.empty());   // the events come after the mutex
    EXPECT_EQ((Results{"FailureMainMutex"}), AnalyticsResults(locale, "FailureMainMutex"));
    // A run with /from= uses the other mutex.
    RunOutcome withFrom = RunUpdaterCopy(copy, product.Name(),
                                         ProductArgument(product, RunLocale()) + L" /from=" + copy.Path());
    EXPECT_EQ(0u, withFrom.exitCode);
    CloseHandle(mutex);
}

TEST(UpdaterProgram, one_run_per_work_folder_whatever_its_options)
{
    UpdaterCopy copy;
    TestProduct product("package-sleep20000");
    // Runs that meet the first one's work folder: with "/from=" (the other single-instance
    // mutex), and with the product written in capitals (the same folder under another name).
    std::wstring upper = product.Name();
    CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    struct Second {
        std::wstring product;
        std::wstring extra;
        std::wstring locale = RunLocale();
        RunOutcome run;
    } seconds[] = {{product.Name(), L" /from=" + copy.Path()}, {upper, L""}};
    bool firstStillRan = false;
    RunOutcome first = RunUpdaterCopy(copy, product.Name(), ProductArgument(product, RunLocale()) + L" /noprog",
                                      [&](HANDLE process, DWORD) {
                                          const ULONGLONG end = GetTickCount64() + 120000;
                                          while (PackageRuns(product, L"Package_sleep20000.exe").empty() &&
                                                 GetTickCount64() < end)
                                              Sleep(100);
                                          for (Second& second : seconds) {
                                              second.run = RunUpdaterCopy(copy, second.product,
                                                                          L"/product=" + second.product + L" /locale=" +
                                                                              second.locale + L" /noprog" + second.extra);
                                          }
                                          firstStillRan = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
                                      });
    ASSERT_TRUE(firstStillRan) << "the package ended before the second runs were done";
    EXPECT_EQ(0u, first.exitCode);
    EXPECT_EQ(1u, PackageRuns(product, L"Package_sleep20000.exe").size());
    for (const Second& second : seconds) {
        EXPECT_EQ(258u, second.run.exitCode) << Lm::WideToAnsi(second.product + second.extra);
        EXPECT_TRUE(second.run.events.empty());
        EXPECT_EQ((Results{"FailureMainMutex"}), AnalyticsResults(second.locale, "FailureMainMutex"));
    }
}

TEST(UpdaterProgram, the_query_names_the_updater_and_the_from_program_version)
{
    UpdaterCopy copy;
    TestProduct product("object");
    RunOutcome run = RunUpdaterCopy(copy, product.Name(),
                                    ProductArgument(product, RunLocale()) + L" /channel=beta /dp partner /from=" +
                                        copy.Path());
    EXPECT_EQ(3u, run.exitCode);
    auto lines = LmTest::ServerLogLines("productName=" + product.Tag() + "&");
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("&version=1.1.1.85&channel=beta&dp=partner&os="));
    EXPECT_NE(std::string::npos, lines[0].find("\"User-Agent\": \"Mozilla/4.0 (compatible; MSIE 5.0; Updater 1.1.1.85)\""));
}

TEST(UpdaterProgram, options_in_any_script_reach_the_server_as_escaped_utf8)
{
    // Cyrillic and CJK in the product, the DP code, the channel and the package URL.
    UpdaterCopy copy;
    TestProduct product("object", L"-\u041F\u0440\u043E\u0434\u0443\u043A\u0442");   // "-Продукт"
    const std::string productInUrl = product.Tag();
    ASSERT_NE(std::string::npos, productInUrl.find("-%D0%9F%D1%80%D0%BE%D0%B4%D1%83%D0%BA%D1%82"));
    RunOutcome run = RunUpdaterCopy(copy, product.Name(),
                                    L"/product=" + product.Name() + L" /locale=" + RunLocale() +
                                        L" /dp=\u041A\u0438\u0440\u0438\u043B\u043B\u0438\u0446\u0430"   // Кириллица
                                        L" /channel=\u6D4B\u8BD5\u7248");                                     // 测试版
    EXPECT_EQ(3u, run.exitCode);
    auto lines = LmTest::ServerLogLines("productName=" + productInUrl + "&");
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos,
              lines[0].find("&channel=%E6%B5%8B%E8%AF%95%E7%89%88&dp=%D0%9A%D0%B8%D1%80%D0%B8%D0%BB%D0%BB%D0%B8%D1%86%D0%B0&os="))
        << lines[0];
    EXPECT_TRUE(LmTest::FileExists(product.LogPath()));

    // A package URL whose query holds CJK, with a DP code in the same script.
    TestProduct packaged("object");
    const std::wstring url = Lm::AnsiToWide(LmTest::ServerUrl("/files/signed/Package.exe?tag=" + packaged.Tag())) +
                             L"&note=\u5305";   // 包
    RunOutcome withUrl = RunUpdaterCopy(copy, packaged.Name(),
                                        ProductArgument(packaged, RunLocale()) + L" /dp=\u5305 /patchURL=" + url);
    EXPECT_EQ(0u, withUrl.exitCode);
    auto packageLines = LmTest::ServerLogLines("tag=" + packaged.Tag() + "&note=%E5%8C%85\"");
    EXPECT_FALSE(packageLines.empty());
    EXPECT_EQ(1u, PackageRuns(packaged).size());
}

TEST(UpdaterProgram, a_package_url_on_the_command_line_skips_the_check)
{
    UpdaterCopy copy;
    TestProduct product("object");   // the check would say: no package
    const std::wstring url = Lm::AnsiToWide(LmTest::ServerUrl("/files/signed/Package.exe?tag=" + product.Tag()));
    RunOutcome run = RunUpdaterCopy(copy, product.Name(), ProductArgument(product, RunLocale()) + L" /patchURL=" + url);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(LmTest::ServerLogLines("productName=" + product.Tag() + "&", 0).empty());
    EXPECT_EQ(1u, PackageRuns(product).size());
}

TEST(UpdaterProgram, a_name_that_climbs_out_of_the_work_folder_stays_inside_it)
{
    UpdaterCopy copy;
    TestProduct product("package-hostileescape");
    // Where the decoded name "..\..\<product>.exe" would point from the work folder.
    const std::wstring canary = LmTest::RoamingAppData() + L"\\Larchmeadow\\" + product.Name() + L".exe";
    LmTest::WriteFileUtf8(canary, L"canary");
    RunOutcome run = RunUpdaterCopy(copy, product.Name(), ProductArgument(product, RunLocale()));
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(L"canary", LmTest::ReadFileUtf8(canary));
    EXPECT_EQ(1u, PackageRuns(product, product.Name() + L".exe").size());
    DeleteFileW(canary.c_str());
}

TEST(UpdaterProgram, a_download_killed_midway_resumes_at_the_recorded_offsets)
{
    namespace MSD = Lm::System::Net::MultiStreamDownload;
    UpdaterCopy copy;
    TestProduct product("package-big-hold");
    const std::wstring hold = LmTest::ServerDir() + L"\\holds\\" + product.Name();
    LmTest::WriteFileUtf8(hold, L"held");
    const std::wstring target = product.Folder() + L"Package.exe";

    // Both ranges stall after 1 MiB while the hold file exists. The stream records are held open
    // by their writers while the run lasts: the run is killed once the second range's data is in
    // the cache, and the records are read after that.
    const std::wstring cache = target + L".cache";
    const std::int64_t size = LmTest::FileSize(LmTest::ServerDir() + L"\\files\\big.exe");
    RunOutcome first = RunUpdaterCopy(copy, product.Name(), ProductArgument(product, RunLocale()) + L" /noprog",
                                      [&](HANDLE process, DWORD) {
                                          const ULONGLONG end = GetTickCount64() + 120000;
                                          while (GetTickCount64() < end && LmTest::FileSize(cache) < size / 2 + 1048576)
                                              Sleep(100);
                                          Sleep(3000);   // the first range meets its stall too
                                          TerminateProcess(process, 9);
                                      });
    EXPECT_EQ(9u, first.exitCode);
    MSD::StreamProgress records[2] = {MSD::StreamProgress(target, 0), MSD::StreamProgress(target, 1)};
    const std::uint32_t starts[2] = {0, static_cast<std::uint32_t>(size / 2)};
    const std::uint32_t ends[2] = {static_cast<std::uint32_t>(size / 2 - 1), static_cast<std::uint32_t>(size - 1)};
    std::vector<std::uint32_t> offsets;
    for (int i = 0; i < 2; ++i) {
        // A record torn by the kill is no record: its range starts again.
        offsets.push_back(records[i].Read(nullptr) && records[i].ThreadsUsed == 2 ? records[i].Offset : starts[i]);
    }
    EXPECT_GT(offsets[1], starts[1]) << "the second range had written nothing";
    // The server logs a request when its answer ends: the killed run's stalled answers are logged
    // once the hold goes, maybe after the second run's. The second run's requests are those that
    // came after the kill.
    const double killed = LmTest::ServerClockNow();
    DeleteFileW(hold.c_str());

    RunOutcome second = RunUpdaterCopy(copy, product.Name(), ProductArgument(product, RunLocale()) + L" /noprog");
    EXPECT_EQ(0u, second.exitCode);
    EXPECT_EQ(1u, PackageRuns(product).size());
    std::vector<std::string> ranges;
    for (const std::string& line : LmTest::ServerLogLines("tag=" + product.Tag())) {
        const size_t at = line.find("\"range\": \"");
        if (at != std::string::npos && LmTest::LoggedStartTime(line) > killed)
            ranges.push_back(line.substr(at + 10, line.find('"', at + 10) - at - 10));
    }
    std::sort(ranges.begin(), ranges.end());
    std::vector<std::string> expected = {
        "bytes=" + std::to_string(offsets[0]) + "-" + std::to_string(ends[0]),
        "bytes=" + std::to_string(offsets[1]) + "-" + std::to_string(ends[1])};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, ranges);
}

TEST(UpdaterProgram, offline_without_from_shows_box_106_and_ends_with_259)
{
    if (!LmTest::InsideNetworkNamespace())
        GTEST_SKIP() << "runs inside unshare -n only";
    UpdaterCopy copy;
    TestProduct product("package");
    LmTest::AnsweredBox box;
    RunOutcome run = RunUpdaterCopy(copy, product.Name(), ProductArgument(product, RunLocale()),
                                    [&](HANDLE, DWORD pid) { box = AnswerBoxOf(pid, L"ok", 60000); });
    EXPECT_EQ(259u, run.exitCode);
    EXPECT_EQ((Events{L"No"}), run.events);
    EXPECT_TRUE(box.pressed);
    EXPECT_EQ(L"Sorry, a check for updates is needed. Please connect to the Internet and try again.", box.text);
    EXPECT_EQ((std::vector<int>{IDOK}), box.buttons);

    // The Installer's line, whose window is never shown, still shows the box.
    TestProduct installer("package");
    LmTest::AnsweredBox installerBox;
    RunOutcome installerRun =
        RunUpdaterCopy(copy, installer.Name(),
                       L"/product=" + installer.Name() + L" /noprog /noparking /emitdownloadprogress /dp=x /installerargs=/nolaunchapp",
                       [&](HANDLE, DWORD pid) { installerBox = AnswerBoxOf(pid, L"ok", 60000); });
    EXPECT_EQ(259u, installerRun.exitCode);
    EXPECT_TRUE(installerBox.pressed);
}

TEST(UpdaterProgram, offline_with_from_ends_with_2_without_a_box)
{
    if (!LmTest::InsideNetworkNamespace())
        GTEST_SKIP() << "runs inside unshare -n only";
    UpdaterCopy copy;
    TestProduct product("package");
    LmTest::AnsweredBox box;
    RunOutcome run = RunUpdaterCopy(copy, product.Name(), ProductArgument(product, RunLocale()) + L" /from=" + copy.Path(),
                                    [&](HANDLE, DWORD pid) { box = AnswerBoxOf(pid, L"ok", 5000); });
    EXPECT_EQ(2u, run.exitCode);
    EXPECT_EQ((Events{L"No"}), run.events);
    EXPECT_FALSE(box.found);
}
