// The result reporter against the local server's "/g/collect": one event per report, the result
// names, the bounded wait at the end of a run, and the process-wide reference. Each test's client
// has a store and a Debugging key of its own, and a visitor id of its own to find its requests.
#include "Updater/UpdateAnalytics.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "CommonAppLogic/InstallUtils.h"
#include "System/Win32/RegistryKey.h"
#include "TestServer.h"
#include "TestSupport.h"
#include "Updater/UpdaterResult.h"
#include "Updater/VisitorId.h"

using Lm::Analytics::CAnalyticsGA4;
using Lm::System::CRefPtr;
using Lm::System::Win32::CRegistryKey;
using Lm::Updater::CUpdateAnalytics;

namespace {

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

class UpdateAnalytics : public ::testing::Test {
protected:
    void SetUp() override
    {
        keyPath = L"HKCU\\Software\\LarchmeadowTests\\" + LmTest::UniqueName(L"dbg");
        CRegistryKey key(keyPath, false);
        key.SetUint32(L"UseTestEnvironment", 1);
        std::string url = LmTest::ServerUrl("/g/collect");
        key.SetString(L"AnalyticsCollectUrl", std::wstring(url.begin(), url.end()));
        storeName = LmTest::UniqueName(L"LmTestReporter") + L".dat";
        visitor = Lm::CommonAppLogic::CreateGuidString();
    }
    void TearDown() override
    {
        CRefPtr<CAnalyticsGA4> client(new CAnalyticsGA4(storeName, keyPath));
        DeleteFileW(client->GetStorePath().c_str());
        CRegistryKey::DeleteKeyTree(keyPath);
    }
    CRefPtr<CAnalyticsGA4> NewClient() { return CRefPtr<CAnalyticsGA4>(new CAnalyticsGA4(storeName, keyPath)); }
    std::vector<std::string> Received(unsigned waitMs = 5000)
    {
        return LmTest::ServerLogLines("uid=" + Narrow(visitor) + "&", waitMs);
    }
    // The lines once one of them holds the awaited text (or the time is up).
    std::vector<std::string> ReceivedWith(const std::string& awaited, DWORD timeoutMs = 20000)
    {
        for (ULONGLONG end = GetTickCount64() + timeoutMs;; Sleep(100)) {
            std::vector<std::string> lines = Received(0);
            for (const std::string& line : lines)
                if (line.find(awaited) != std::string::npos || GetTickCount64() > end)
                    return lines;
            if (GetTickCount64() > end)
                return lines;
        }
    }

    std::wstring keyPath;
    std::wstring storeName;
    std::wstring visitor;
};

bool Contains(const std::string& line, const std::string& text)
{
    return line.find(text) != std::string::npos;
}

} // namespace

TEST_F(UpdateAnalytics, each_report_is_one_update_event_with_its_result)
{
    CRefPtr<CUpdateAnalytics> reporter(new CUpdateAnalytics(NewClient(), visitor, L"fr"));
    reporter->ReportResultCode(Lm::Updater::FailureMainMutex);
    reporter->ReportSuccess();
    reporter->ReportResult(L"InstallerExitCode1");
    reporter->ReportResultCode(769);
    reporter = nullptr;       // waits for the uploads
    std::vector<std::string> lines = Received();
    ASSERT_EQ(4u, lines.size());
    int mutex = 0, succeeded = 0, installer = 0, unknown = 0;
    for (const std::string& line : lines) {
        EXPECT_TRUE(Contains(line, "&en=Update&")) << line;
        EXPECT_TRUE(Contains(line, "&ep.app_name=Updater&ep.app_version=1.1.1.85&")) << line;
        EXPECT_TRUE(Contains(line, "&ul=fr&_et=1\"")) << line;
        mutex += Contains(line, "&ep.result=FailureMainMutex&");
        succeeded += Contains(line, "&ep.result=Succeeded&");
        installer += Contains(line, "&ep.result=InstallerExitCode1&");
        unknown += Contains(line, "&ep.result=Unknown&");
    }
    EXPECT_EQ(1, mutex);
    EXPECT_EQ(1, succeeded);
    EXPECT_EQ(1, installer);
    EXPECT_EQ(1, unknown);
    EXPECT_EQ(0u, NewClient()->GetStoreSize());
}

TEST_F(UpdateAnalytics, a_stalled_endpoint_holds_the_end_of_a_run_five_seconds_and_gets_the_event_once)
{
    CRefPtr<CUpdateAnalytics> reporter(new CUpdateAnalytics(NewClient(), visitor, L"en-us"));
    Lm::Analytics::CAnalyticsEvent event = CAnalyticsGA4::ComposeEvent(
        Lm::Updater::kUpdaterAppName, Lm::Updater::kUpdaterAppVersion, L"en-us", visitor, Lm::Updater::kUpdateEventName);
    event.SetString(L"ep.result", L"Stalled");
    // Longer than the exit wait; the server logs the request once it answered.
    event.SetString(L"stallheaders", L"15000");
    reporter->SendEvent(event);
    Sleep(500);
    ULONGLONG start = GetTickCount64();
    reporter = nullptr;
    ULONGLONG took = GetTickCount64() - start;
    EXPECT_GE(took, 4500u);
    EXPECT_LT(took, 30000u);
    EXPECT_EQ(0u, NewClient()->GetStoreSize()) << "the event went out: it is not kept for the next run";

    // The next run on the same store sends its own event, and the stalled one not again.
    reporter = new CUpdateAnalytics(NewClient(), visitor, L"en-us");
    reporter->StartUploadThread(125);
    reporter->ReportResult(L"Next");
    reporter = nullptr;
    ReceivedWith("&ep.result=Next&");
    std::vector<std::string> lines = ReceivedWith("&ep.result=Stalled&", 30000);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(1, Contains(lines[0], "&ep.result=Stalled&") + Contains(lines[1], "&ep.result=Stalled&"));
    EXPECT_EQ(1, Contains(lines[0], "&ep.result=Next&") + Contains(lines[1], "&ep.result=Next&"));
}

TEST_F(UpdateAnalytics, offline_the_end_of_a_run_does_not_wait_and_the_event_stays)
{
    const char* flag = std::getenv("LM_EXPECT_NO_NETWORK");
    if (!flag || flag[0] != '1')
        GTEST_SKIP() << "runs inside unshare -n only";
    CRefPtr<CUpdateAnalytics> reporter(new CUpdateAnalytics(NewClient(), visitor, L"en-us"));
    reporter->ReportResultCode(Lm::Updater::FailureMainOffline);
    ULONGLONG end = GetTickCount64() + 30000;
    while (reporter->GetClient().GetStateFlag() && GetTickCount64() < end)
        Sleep(20);
    ULONGLONG start = GetTickCount64();
    reporter = nullptr;
    EXPECT_LT(GetTickCount64() - start, 4000u);
    EXPECT_GT(NewClient()->GetStoreSize(), 0u);
}

TEST_F(UpdateAnalytics, a_report_the_store_cannot_take_is_dropped_silently)
{
    CRefPtr<CUpdateAnalytics> reporter(new CUpdateAnalytics(NewClient(), visitor, L"en-us"));
    reporter->ReportResult(std::wstring(70000, L'x'));      // over the store's query limit
    reporter->ReportResult(L"After");
    reporter = nullptr;
    std::vector<std::string> lines = Received();
    ASSERT_EQ(1u, lines.size());
    EXPECT_TRUE(Contains(lines[0], "&ep.result=After&"));
}

TEST_F(UpdateAnalytics, the_process_wide_reporter_is_held_until_released)
{
    CUpdateAnalytics* raw = new CUpdateAnalytics(NewClient(), visitor, L"en-us");
    CRefPtr<CUpdateAnalytics> mine(raw);
    Lm::Updater::SetUpdateAnalytics(raw);
    EXPECT_EQ(raw, Lm::Updater::GetUpdateAnalytics());
    EXPECT_EQ(2, raw->GetReferenceCount());
    Lm::Updater::SetUpdateAnalytics(raw);       // the same again changes nothing
    EXPECT_EQ(2, raw->GetReferenceCount());
    mine = nullptr;
    EXPECT_EQ(1, raw->GetReferenceCount());
    Lm::Updater::GetUpdateAnalytics()->ReportResult(L"Global");
    Lm::Updater::SetUpdateAnalytics(nullptr);   // the last reference: waits, then goes
    EXPECT_EQ(nullptr, Lm::Updater::GetUpdateAnalytics());
    std::vector<std::string> lines = Received();
    ASSERT_EQ(1u, lines.size());
    EXPECT_TRUE(Contains(lines[0], "&ep.result=Global&"));
}

TEST_F(UpdateAnalytics, the_run_reporter_sends_the_users_visitor_id)
{
    CRefPtr<CUpdateAnalytics> reporter(new CUpdateAnalytics(L"en-us", L"larchplay", L"PellorGamesApp"));
    EXPECT_EQ(Lm::Updater::GetVisitorId(), reporter->GetVisitorIdText());
    EXPECT_TRUE(Lm::Updater::IsWellFormedVisitorId(reporter->GetVisitorIdText()));
    EXPECT_EQ(L"en-us", reporter->GetLocale());
    std::wstring suffix = L"\\Larchmeadow\\Analytics\\LMAnalyticsForGA4.dat";
    std::wstring path = reporter->GetClient().GetStorePath();
    EXPECT_EQ(suffix, path.substr(path.size() - suffix.size()));
}

// Two runs of the built Updater.exe against an endpoint that answers only after a run's exit wait:
// each run's "Update" event reaches the endpoint once, and no later run sends it again. The runs'
// events are told apart by their locale tags ("/locale="), whose word "stall30000" makes the
// collect stand-in hold its answer 30 s.
TEST(UpdateAnalyticsProgram, a_slow_endpoint_receives_the_event_of_each_run_exactly_once)
{
    // The runs share the user's store with every other run: what an earlier, interrupted run left
    // there would go out first (a run sends one record before its own when the endpoint is slow).
    // It is sent now, as the next run would send it.
    {
        CRefPtr<CAnalyticsGA4> user(new CAnalyticsGA4());
        user->StartUploadThread(20);
        for (ULONGLONG end = GetTickCount64() + 120000; user->GetStoreSize() > 0 && GetTickCount64() < end;) {
            Sleep(100);
            if (!user->GetStateFlag())
                user->StartUploadThread(20);
        }
    }
    const std::wstring tag = LmTest::UniqueName(L"en-x-stall30000-t");
    const std::wstring runs[] = {tag + L"-a", tag + L"-b"};
    for (const std::wstring& locale : runs) {
        LmTest::RunResult run = LmTest::RunProgram(LmTest::Program(L"Updater.exe"), L"/product= /locale=" + locale, 120000);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(static_cast<DWORD>(Lm::Updater::FailureMainCommandLine), run.exitCode);
    }
    std::map<std::wstring, int> received;
    for (ULONGLONG end = GetTickCount64() + 60000; GetTickCount64() < end; Sleep(200)) {
        received.clear();
        for (const std::string& line : LmTest::ServerLogLines("ul=" + Narrow(tag) + "-", 0)) {
            for (const std::wstring& locale : runs)
                received[locale] += Contains(line, "&ul=" + Narrow(locale) + "&") && Contains(line, "/g/collect");
        }
        if (received[runs[0]] > 0 && received[runs[1]] > 0)
            break;
    }
    EXPECT_EQ(1, received[runs[0]]) << "the first run's event";
    EXPECT_EQ(1, received[runs[1]]) << "the second run's event";
}
